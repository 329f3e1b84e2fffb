// The window list with the Win32 rules, over windows of a helper process
// (test_win_windowhost) and of our own. Wine's DWM answers E_NOTIMPL for
// every window: the bounds are the window rectangles and nothing is cloaked.
#include "libcapture/desktopsharing/screencapture/windowenumeration.h"

#include <dwmapi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "libcapture/screencapturelib/windows/windowbounds.h"
#include "tests/windows/childprocess.h"
#include "tests/windows/testwindow.h"

namespace {

// Starts the helper with the given windows; their handles by kind.
class WindowHost {
public:
    explicit WindowHost(const std::string& arguments)
    {
        const std::string program = directoryOf(thisProgramPath()) + "\\test_win_windowhost.exe";
        if (!child_.start("\"" + program + "\" " + arguments)) return;
        std::string line;
        while (child_.readLine(line)) {
            if (line == "ready") {
                ready_ = true;
                break;
            }
            const size_t space = line.find(' ');
            handles_[line.substr(0, space)] =
                static_cast<uintptr_t>(std::strtoull(line.c_str() + space + 1, nullptr, 16));
        }
    }
    bool ready() const { return ready_; }
    uintptr_t operator[](const std::string& kind) const
    {
        auto it = handles_.find(kind);
        return it == handles_.end() ? 0 : it->second;
    }
    int finish() { return child_.finish(); }

private:
    ChildProcess child_;
    std::map<std::string, uintptr_t> handles_;
    bool ready_ = false;
};

const WindowRecord* recordOf(const std::vector<WindowRecord>& records, uintptr_t handle)
{
    for (const WindowRecord& record : records)
        if (record.handle == handle) return &record;
    return nullptr;
}

void expectWindowRectangle(const WindowRecord& record)
{
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(reinterpret_cast<HWND>(record.handle), &rect));
    EXPECT_EQ(record.left, rect.left);
    EXPECT_EQ(record.top, rect.top);
    EXPECT_EQ(record.width, rect.right - rect.left);
    EXPECT_EQ(record.height, rect.bottom - rect.top);
}

TEST(WindowEnumeration, TheTaskSwitcherRulesPickTheProgramWindows)
{
    // A title in the ANSI code page (1252 here): "é" is one byte, 0xE9.
    WindowHost host(
        "\"normal=Caf\xe9 window\" \"tool=Tool window\" \"owner=Owner window\" "
        "\"popup=Owned popup\" \"hidden=Hidden window\" \"minimised=Minimised window\" "
        "normal=X");
    ASSERT_TRUE(host.ready());
    TestWindowOptions own;
    own.style = WS_OVERLAPPEDWINDOW;
    own.exStyle = 0;
    own.title = "One of our own windows";
    TestWindow ours(own);

    const std::vector<WindowRecord> windows = enumerateWindows();
    const WindowRecord* normal = recordOf(windows, host["normal"]);  // the last normal: "X"
    EXPECT_EQ(normal, nullptr) << "a one-character title is not listed";
    EXPECT_EQ(recordOf(windows, host["tool"]), nullptr);
    EXPECT_EQ(recordOf(windows, host["popup"]), nullptr) << "the owner stands for its popup";
    EXPECT_EQ(recordOf(windows, host["hidden"]), nullptr);
    EXPECT_EQ(recordOf(windows, ours.id()), nullptr) << "our own windows are left out";

    const WindowRecord* owner = recordOf(windows, host["owner"]);
    ASSERT_NE(owner, nullptr);
    EXPECT_STREQ(owner->title, "Owner window");
    expectWindowRectangle(*owner);
    const WindowRecord* minimised = recordOf(windows, host["minimised"]);
    ASSERT_NE(minimised, nullptr);
    EXPECT_STREQ(minimised->title, "Minimised window");
    EXPECT_TRUE(IsIconic(reinterpret_cast<HWND>(minimised->handle)));
    expectWindowRectangle(*minimised);

    bool foundCafe = false;
    for (const WindowRecord& record : windows)
        if (std::string(record.title) == "Caf\xe9 window") {
            foundCafe = true;
            expectWindowRectangle(record);
        }
    EXPECT_TRUE(foundCafe);
    EXPECT_EQ(host.finish(), 0);
}

TEST(WindowEnumeration, WithoutDwmTheWindowRectangleIsTheVisibleBoundsAndNothingIsCloaked)
{
    TestWindowOptions options{150, 120, 333, 222};
    TestWindow window(options);
    RECT extended{};
    // Wine has no DWM frame bounds: what our fallback is for.
    ASSERT_FALSE(SUCCEEDED(DwmGetWindowAttribute(window.handle(), DWMWA_EXTENDED_FRAME_BOUNDS,
                                                 &extended, sizeof extended)));
    RECT bounds{};
    ASSERT_TRUE(ScreenCaptureLib::visibleBounds(window.handle(), bounds));
    EXPECT_EQ(bounds.left, 150);
    EXPECT_EQ(bounds.top, 120);
    EXPECT_EQ(bounds.right, 150 + 333);
    EXPECT_EQ(bounds.bottom, 120 + 222);
    EXPECT_FALSE(ScreenCaptureLib::isCloaked(window.handle()));
}

TEST(WindowLookup, GivesTheRecordOfAnyTopLevelWindowUntilItCloses)
{
    WindowHost host("\"tool=Tool window\"");
    ASSERT_TRUE(host.ready());
    TestWindow ours(TestWindowOptions{40, 50, 260, 140});

    // No rules apply: a tool window and one of ours are found too, untitled.
    for (uintptr_t handle : {host["tool"], ours.id()}) {
        const std::vector<WindowRecord> found = findWindow(handle);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].handle, handle);
        EXPECT_EQ(found[0].title[0], '\0');
        expectWindowRectangle(found[0]);
    }
    EXPECT_EQ(findWindow(ours.id())[0].width, 260);
    EXPECT_TRUE(findWindow(0).empty());

    const uintptr_t closed = ours.id();
    ours.destroy();
    EXPECT_TRUE(findWindow(closed).empty());
    const uintptr_t tool = host["tool"];
    EXPECT_EQ(host.finish(), 0);
    EXPECT_TRUE(findWindow(tool).empty());
}

}  // namespace
