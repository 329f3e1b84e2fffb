// Window enumeration against a desktop whose EWMH properties the test sets
// itself, as a tiny window manager would.
#include "libcapture/desktopsharing/screencapture/windowenumeration.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/screencapture/testdisplay.h"

namespace {

constexpr long kOtherPid = 1;
constexpr long kAllDesktops = 0xFFFFFFFF;

class WindowEnumerationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(x.display, nullptr) << "no DISPLAY"; }

    // A managed program window of another process, on desktop 0.
    Window program(const std::string& title, int left = 10, int top = 10)
    {
        Window window = x.createWindow(left, top, 200, 100, 0x336699);
        x.setUtf8(window, "_NET_WM_NAME", title);
        x.setCardinals(window, "_NET_WM_PID", XA_CARDINAL, {kOtherPid});
        x.setCardinals(window, "_NET_WM_DESKTOP", XA_CARDINAL, {0});
        stacking.push_back(static_cast<long>(window));
        return window;
    }

    void publishStacking()
    {
        x.setCardinals(x.root, "_NET_CURRENT_DESKTOP", XA_CARDINAL, {0});
        x.setCardinals(x.root, "_NET_CLIENT_LIST_STACKING", XA_WINDOW, stacking);
        x.sync();
    }

    static const WindowRecord* byHandle(const std::vector<WindowRecord>& records, Window window)
    {
        for (const WindowRecord& record : records)
            if (record.handle == window) return &record;
        return nullptr;
    }

    TestDisplay x;
    std::vector<long> stacking;  // bottom first
};

TEST_F(WindowEnumerationTest, ListsProgramWindowsByTheTaskSwitcherRules)
{
    Window bottom = program("Bottom window");
    Window own = program("Our own window");
    x.setCardinals(own, "_NET_WM_PID", XA_CARDINAL, {static_cast<long>(getpid())});
    Window oneChar = program("X");
    Window skipTaskbar = program("Skip taskbar");
    x.setAtoms(skipTaskbar, "_NET_WM_STATE", {"_NET_WM_STATE_SKIP_TASKBAR"});
    Window minimised = program("Minimised window");
    x.setAtoms(minimised, "_NET_WM_STATE", {"_NET_WM_STATE_HIDDEN"});
    XUnmapWindow(x.display, minimised);
    Window otherDesktop = program("Other desktop");
    x.setCardinals(otherDesktop, "_NET_WM_DESKTOP", XA_CARDINAL, {1});
    Window sticky = program("On all desktops");
    x.setCardinals(sticky, "_NET_WM_DESKTOP", XA_CARDINAL, {kAllDesktops});
    Window utility = program("Utility palette");
    x.setAtoms(utility, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_UTILITY"});
    Window dock = program("Panel dock");
    x.setAtoms(dock, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_DOCK"});
    Window normalType = program("Normal typed");
    x.setAtoms(normalType, "_NET_WM_WINDOW_TYPE", {"_NET_WM_WINDOW_TYPE_NORMAL"});
    Window utf8 = program("Präsentation – 演示文稿");
    Window top = program("Top window");
    publishStacking();

    std::vector<WindowRecord> records = enumerateWindows();
    std::vector<Window> listed;
    for (const WindowRecord& record : records) listed.push_back(record.handle);
    // Top of the stacking order first.
    EXPECT_EQ(listed, (std::vector<Window>{top, utf8, normalType, sticky, minimised, bottom}));

    EXPECT_EQ(byHandle(records, own), nullptr);
    EXPECT_EQ(byHandle(records, oneChar), nullptr);
    EXPECT_EQ(byHandle(records, skipTaskbar), nullptr);
    EXPECT_EQ(byHandle(records, otherDesktop), nullptr);
    EXPECT_EQ(byHandle(records, utility), nullptr);
    EXPECT_EQ(byHandle(records, dock), nullptr);
    ASSERT_NE(byHandle(records, utf8), nullptr);
    EXPECT_STREQ(byHandle(records, utf8)->title, "Präsentation – 演示文稿");
    EXPECT_STREQ(byHandle(records, bottom)->title, "Bottom window");
}

TEST_F(WindowEnumerationTest, TitlesAndBoundsFromTheWindowManagersProperties)
{
    // No _NET_WM_NAME: the ICCCM name in Latin-1 comes out as UTF-8.
    Window latin1 = x.createWindow(100, 100, 300, 200, 0x808080);
    x.setLatin1Name(latin1, "Caf\xe9 menu");
    x.setCardinals(latin1, "_NET_WM_PID", XA_CARDINAL, {kOtherPid});
    // left, right, top, bottom of the frame the manager draws around it.
    x.setCardinals(latin1, "_NET_FRAME_EXTENTS", XA_CARDINAL, {5, 6, 20, 4});
    stacking.push_back(static_cast<long>(latin1));

    // A reparenting manager's frame: the bounds are the frame's.
    Window frame = x.createWindow(400, 300, 220, 150, 0xFF0000);
    Window client = x.createWindow(10, 30, 200, 110, 0x00FF00, frame);
    x.setUtf8(client, "_NET_WM_NAME", "Framed client");
    x.setCardinals(client, "_NET_WM_PID", XA_CARDINAL, {kOtherPid});
    stacking.push_back(static_cast<long>(client));
    publishStacking();

    std::vector<WindowRecord> records = enumerateWindows();
    const WindowRecord* plain = byHandle(records, latin1);
    ASSERT_NE(plain, nullptr);
    EXPECT_STREQ(plain->title, "Caf\xc3\xa9 menu");
    EXPECT_EQ(plain->left, 95);
    EXPECT_EQ(plain->top, 80);
    EXPECT_EQ(plain->width, 311);
    EXPECT_EQ(plain->height, 224);

    const WindowRecord* framed = byHandle(records, client);
    ASSERT_NE(framed, nullptr);
    EXPECT_EQ(framed->left, 400);
    EXPECT_EQ(framed->top, 300);
    EXPECT_EQ(framed->width, 220);
    EXPECT_EQ(framed->height, 150);
}

TEST_F(WindowEnumerationTest, FindWindowReportsExistingTopLevelWindowsOnly)
{
    Window window = program("Findable window", 50, 60);
    publishStacking();

    std::vector<WindowRecord> found = findWindow(window);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].handle, window);
    EXPECT_EQ(found[0].left, 50);
    EXPECT_EQ(found[0].top, 60);
    EXPECT_EQ(found[0].width, 200);
    EXPECT_EQ(found[0].height, 100);
    const char zeros[sizeof(found[0].title)] = {};
    EXPECT_EQ(std::memcmp(found[0].title, zeros, sizeof(zeros)), 0);

    // A plain child window is no program window.
    Window child = x.createWindow(1, 1, 10, 10, 0, window);
    EXPECT_TRUE(findWindow(child).empty());
    EXPECT_TRUE(findWindow(x.root).empty());
    EXPECT_TRUE(findWindow(0).empty());

    XDestroyWindow(x.display, window);
    x.sync();
    EXPECT_TRUE(findWindow(window).empty());
}

// Reparented clients come and go from another connection while we look them up:
// a window that closes between two of findWindow's requests must never end the
// process, and a gone window is simply not found.
TEST_F(WindowEnumerationTest, FindWindowSurvivesWindowsClosingUnderIt)
{
    std::atomic<unsigned long> latest{0};
    std::atomic<bool> done{false};
    std::atomic<int> created{0};
    std::thread churn([&] {
        TestDisplay other;
        ASSERT_NE(other.display, nullptr);
        while (!done) {
            Window frame = XCreateSimpleWindow(other.display, other.root, 0, 0, 60, 40, 0, 0, 0);
            Window client = XCreateSimpleWindow(other.display, frame, 0, 0, 60, 40, 0, 0, 0);
            XMapWindow(other.display, client);
            XMapWindow(other.display, frame);
            XSync(other.display, False);
            latest = client;
            ++created;
            // A varying life span, measured in round trips to the server, so
            // that some windows close in the middle of a lookup.
            for (int trip = std::rand() % 64; trip > 0 && !done; --trip)
                XSync(other.display, False);
            XDestroyWindow(other.display, frame);
            XSync(other.display, False);
        }
    });
    while (created == 0) std::this_thread::yield();
    int found = 0;
    for (int i = 0; i < 3000; ++i) {
        const Window window = static_cast<Window>(latest.load());
        for (const WindowRecord& record : findWindow(window)) {
            EXPECT_EQ(record.handle, window);
            ++found;
        }
    }
    done = true;
    churn.join();

    // Whatever the race did, a window gone for good is not found.
    const Window gone = static_cast<Window>(latest.load());
    EXPECT_TRUE(findWindow(gone).empty());
    RecordProperty("found", found);
}

}  // namespace
