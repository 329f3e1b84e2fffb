// Our capture library on Windows (under Wine: GDI, since the system offers no
// desktop duplication): monitor and window frames must be exactly what the
// test windows painted, with the cursor drawn in, and a resized or closed
// window must behave as on Linux.
#include <gtest/gtest.h>

#include <cstring>

#include "libcapture/desktopsharing/screencapture/windowenumeration.h"
#include "libcapture/screencapturelib/screencapturelib.h"
#include "tests/screencapture/framecollector.h"
#include "tests/windows/logrecorder.h"
#include "tests/windows/screentestsupport.h"
#include "tests/windows/testwindow.h"

using namespace ScreenCaptureLib;

namespace {

constexpr COLORREF kBackground = RGB(0x20, 0x40, 0x60);
constexpr COLORREF kMark = RGB(0xC0, 0x80, 0x10);
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
// Where the cursor waits while it must stay out of the picture: its image
// starts at the position, so only the corner pixel can show it.
constexpr int kParkX = kScreenWidth - 1;
constexpr int kParkY = kScreenHeight - 1;

std::vector<Monitor> firstSelected()
{
    std::vector<Monitor> monitors = getMonitors();
    if (!monitors.empty()) monitors[0].selected = true;
    return monitors;
}

// A width x height BGRA picture of one colour with marked rectangles.
struct Picture {
    Picture(int w, int h, COLORREF color) : width(w), height(h), bgra(size_t(w) * h * 4)
    {
        fill({0, 0, w, h}, color);
    }
    void fill(RECT r, COLORREF color)
    {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                uint8_t* p = &bgra[(size_t(y) * width + x) * 4];
                p[0] = GetBValue(color);
                p[1] = GetGValue(color);
                p[2] = GetRValue(color);
            }
    }
    int width, height;
    std::vector<uint8_t> bgra;
};

bool showsColor(const Frame& frame, int x, int y, COLORREF color)
{
    return frame.data && x < frame.width && y < frame.height &&
           frameColor(frame.data.get(), frame.width, x, y) == color;
}

class WindowsCaptureTest : public ::testing::Test {
protected:
    void SetUp() override { SetCursorPos(kParkX, kParkY); }

    FrameCollector frames;
};

TEST(WindowsMonitors, TheMonitorListIsTheScreen)
{
    std::vector<Monitor> monitors = getMonitors();
    ASSERT_EQ(monitors.size(), 1u);
    EXPECT_EQ(monitors[0].index, 0);
    EXPECT_EQ(monitors[0].x, 0);
    EXPECT_EQ(monitors[0].y, 0);
    EXPECT_EQ(monitors[0].width, kScreenWidth);
    EXPECT_EQ(monitors[0].height, kScreenHeight);
    EXPECT_FALSE(monitors[0].name.empty());
    EXPECT_FALSE(monitors[0].selected);
}

TEST_F(WindowsCaptureTest, MonitorIsCapturedThroughGdiPixelExactWithTheCursorDrawnIn)
{
    TestWindow cover({0, 0, kScreenWidth, kScreenHeight, kBackground});
    cover.mark({100, 200, 400, 240}, kMark);
    cover.mark({kScreenWidth - 16, kScreenHeight - 8, kScreenWidth, kScreenHeight}, kWhite);
    LogRecorder::Scope logs;
    CaptureManager manager(firstSelected, frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();

    ASSERT_TRUE(
        frames.waitForFrame(0, [](const Frame& f) { return showsColor(f, 150, 220, kMark); }));
    Frame frame = frames.last();
    ASSERT_EQ(frame.width, kScreenWidth);
    ASSERT_EQ(frame.height, kScreenHeight);
    EXPECT_EQ(frame.monitorIndex, 0);
    EXPECT_EQ(frame.window, 0u);
    // Wine has no desktop duplication: the choice of GDI is logged, once.
    EXPECT_EQ(logs.log().count(
                  "DirectX Desktop Duplication not supported, falling back to GDI Capturing . . ."),
              1);

    Picture expected(kScreenWidth, kScreenHeight, kBackground);
    expected.fill({100, 200, 400, 240}, kMark);
    expected.fill({kScreenWidth - 16, kScreenHeight - 8, kScreenWidth, kScreenHeight}, kWhite);
    // Every pixel but the parked cursor's corner one.
    EXPECT_EQ(differingPixels(frame.data.get(), expected.bgra.data(), kScreenWidth,
                              {0, 0, kScreenWidth, kScreenHeight - 1}),
              0);
    EXPECT_EQ(differingPixels(frame.data.get(), expected.bgra.data(), kScreenWidth,
                              {0, kScreenHeight - 1, kScreenWidth - 1, kScreenHeight}),
              0);

    // The pointer moves in: the frame shows the cursor image at its position.
    const int pointerX = 1000, pointerY = 600, box = 48;
    int seen = frames.count();
    ASSERT_TRUE(placeArrowCursor(cover, pointerX, pointerY));
    const std::vector<uint8_t> cursor = pictureWithCursor(box, box, kBackground, 0, 0);
    ASSERT_GT(differingPixels(cursor.data(), Picture(box, box, kBackground).bgra.data(), box,
                              {0, 0, box, box}),
              0)
        << "the cursor image is empty";
    auto cursorShown = [&](const Frame& f) {
        for (int row = 0; row < box; ++row)
            if (std::memcmp(f.data.get() + ((pointerY + row) * size_t(f.width) + pointerX) * 4,
                            cursor.data() + row * size_t(box) * 4, size_t(box) * 4) != 0)
                return false;
        return true;
    };
    EXPECT_TRUE(frames.waitForFrame(seen, cursorShown));

    // Away again: the background comes back there.
    seen = frames.count();
    SetCursorPos(kParkX, kParkY);
    EXPECT_TRUE(frames.waitForFrame(seen, [&](const Frame& f) {
        return differingPixels(f.data.get(), expected.bgra.data(), kScreenWidth,
                               {pointerX, pointerY, pointerX + box, pointerY + box}) == 0;
    }));
    EXPECT_EQ(manager.builds(), 1);
}

TEST_F(WindowsCaptureTest, UnchangedScreenYieldsNoNewFrameAndPauseResumeKeepsTheCapture)
{
    TestWindow cover({0, 0, kScreenWidth, kScreenHeight, kBackground});
    cover.mark({100, 200, 400, 240}, kMark);
    CaptureManager manager(firstSelected, frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();
    ASSERT_TRUE(
        frames.waitForFrame(0, [](const Frame& f) { return showsColor(f, 150, 220, kMark); }));

    // Nothing changes: many looks, no frame.
    int seen = frames.count();
    uint64_t passes = manager.passes();
    ASSERT_TRUE(waitUntil([&] { return manager.passes() >= passes + 30; }));
    EXPECT_EQ(frames.count(), seen);

    // Paused: drawing delivers nothing; resumed: the drawing comes through.
    manager.pause();
    ASSERT_TRUE(waitUntil([&] { return manager.pausedThreads() == 1; }));
    seen = frames.count();
    cover.mark({500, 500, 550, 550}, RGB(0xFF, 0, 0));
    passes = manager.passes();
    EXPECT_FALSE(
        waitUntil([&] { return manager.passes() > passes; }, std::chrono::milliseconds(300)));
    EXPECT_EQ(frames.count(), seen);
    manager.resume();
    EXPECT_TRUE(frames.waitForFrame(
        seen, [](const Frame& f) { return showsColor(f, 520, 520, RGB(0xFF, 0, 0)); }));
    EXPECT_EQ(manager.builds(), 1);
}

class WindowCaptureTest : public WindowsCaptureTest {
protected:
    static WindowProvider provider(const TestWindow& window)
    {
        const uintptr_t target = window.id();
        return [target] { return findWindow(target); };
    }
};

TEST_F(WindowCaptureTest, WindowIsCapturedAtItsBoundsAlsoWhereItIsCovered)
{
    TestWindow target({200, 150, 400, 300, RGB(0, 0xFF, 0)});
    target.mark({10, 10, 30, 30}, RGB(0, 0, 0xFF));
    TestWindow cover({250, 200, 500, 400, RGB(0xFF, 0xFF, 0)});
    CaptureManager manager(provider(target), frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();

    ASSERT_TRUE(frames.waitForFrame(0));
    Frame f = frames.last();
    EXPECT_EQ(f.window, target.id());
    EXPECT_EQ(f.monitorIndex, -1);
    ASSERT_EQ(f.width, 400);
    ASSERT_EQ(f.height, 300);
    // The window's own picture, under the cover too (PrintWindow asked it to
    // paint through WM_PRINTCLIENT).
    Picture expected(400, 300, RGB(0, 0xFF, 0));
    expected.fill({10, 10, 30, 30}, RGB(0, 0, 0xFF));
    EXPECT_EQ(differingPixels(f.data.get(), expected.bgra.data(), 400, {0, 0, 400, 300}), 0);

    // Drawing into the covered part comes through as well.
    int seen = frames.count();
    target.mark({300, 200, 330, 230}, RGB(0xFF, 0, 0xFF));
    EXPECT_TRUE(frames.waitForFrame(
        seen, [](const Frame& frame) { return showsColor(frame, 310, 210, RGB(0xFF, 0, 0xFF)); }));
}

TEST_F(WindowCaptureTest, TheCursorIsDrawnAtItsPlaceInTheWindow)
{
    TestWindow target({300, 200, 300, 200, kBackground});
    CaptureManager manager(provider(target), frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();
    ASSERT_TRUE(frames.waitForFrame(0));

    const int box = 48;
    int seen = frames.count();
    ASSERT_TRUE(placeArrowCursor(target, 300 + 100, 200 + 50));
    const std::vector<uint8_t> cursor = pictureWithCursor(box, box, kBackground, 0, 0);
    EXPECT_TRUE(frames.waitForFrame(seen, [&](const Frame& f) {
        if (f.width != 300) return false;
        for (int row = 0; row < box; ++row)
            if (std::memcmp(f.data.get() + ((50 + row) * size_t(f.width) + 100) * 4,
                            cursor.data() + row * size_t(box) * 4, size_t(box) * 4) != 0)
                return false;
        return true;
    }));
}

TEST_F(WindowCaptureTest, ResizedWindowIsCapturedAgainAtItsNewSizeAndClosedWindowEndsCapture)
{
    TestWindow target({200, 150, 400, 300, RGB(0, 0xFF, 0)});
    CaptureManager manager(provider(target), frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();
    ASSERT_TRUE(frames.waitForFrame(0));
    EXPECT_EQ(frames.last().width, 400);

    int seen = frames.count();
    target.resize(600, 200);
    ASSERT_TRUE(frames.waitForFrame(
        seen, [](const Frame& f) { return f.width == 600 && f.height == 200; },
        std::chrono::milliseconds(8000)));
    EXPECT_GE(manager.builds(), 2);
    EXPECT_TRUE(showsColor(frames.last(), 599, 199, RGB(0, 0xFF, 0)));

    // Closed: the capture is built again from an empty list and delivers nothing.
    const int builds = manager.builds();
    target.destroy();
    ASSERT_TRUE(waitUntil([&] { return manager.builds() > builds; }));
    seen = frames.count();
    const uint64_t passes = manager.passes();
    EXPECT_FALSE(
        waitUntil([&] { return manager.passes() > passes; }, std::chrono::milliseconds(300)));
    EXPECT_EQ(frames.count(), seen);
    EXPECT_EQ(frames.last().width, 600);
}

TEST_F(WindowCaptureTest, MinimisedWindowIsNotCapturedUntilRestored)
{
    TestWindowOptions options{200, 150, 400, 300, RGB(0, 0xFF, 0)};
    options.style = WS_OVERLAPPEDWINDOW;
    options.exStyle = 0;
    options.title = "Minimised target";
    options.minimised = true;
    TestWindow target(options);
    ASSERT_TRUE(IsIconic(target.handle()));
    CaptureManager manager(provider(target), frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();
    ASSERT_TRUE(waitUntil([&] { return manager.builds() >= 2; }));
    EXPECT_EQ(frames.count(), 0);

    target.onWindowThread([&] { ShowWindow(target.handle(), SW_RESTORE); });
    RECT bounds{};
    GetWindowRect(target.handle(), &bounds);
    EXPECT_TRUE(frames.waitForFrame(0, [&](const Frame& f) {
        return f.width == bounds.right - bounds.left && f.height == bounds.bottom - bounds.top;
    }));
}

}  // namespace
