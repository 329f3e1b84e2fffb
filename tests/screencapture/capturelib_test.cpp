// Our capture library against a private two-monitor Xvfb: what it delivers must
// be exactly what a client drew, with the cursor drawn in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "libcapture/desktopsharing/screencapture/windowenumeration.h"
#include "libcapture/screencapturelib/screencapturelib.h"
#include "libcapture/screencapturelib/x11/x11cursor.h"
#include "libcapture/screencapturelib/x11/x11shmimagepool.h"
#include "tests/screencapture/framecollector.h"
#include "tests/screencapture/testdisplay.h"

using namespace ScreenCaptureLib;

namespace {

constexpr unsigned long kBackground = 0x204060;
constexpr unsigned long kMark = 0xC08010;

std::vector<Monitor> selectIndex(std::vector<Monitor> monitors, size_t index)
{
    if (index < monitors.size()) monitors[index].selected = true;
    return monitors;
}

// A frame's colour at (x, y), away from the cursor.
bool frameHas(const Frame& frame, int x, int y, unsigned long rgb)
{
    return frame.data && x < frame.width && y < frame.height &&
           rgbAt(frame.data.get(), frame.width, x, y) == rgb;
}

template <typename Done>
bool waitUntil(Done done, std::chrono::milliseconds limit = std::chrono::milliseconds(8000))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Waits until the capture threads have looked for a change `count` more times.
bool passesGoBy(const CaptureManager& manager, uint64_t count)
{
    const uint64_t from = manager.passes();
    return waitUntil([&] { return manager.passes() >= from + count; });
}

// The capture's shared-memory images are all attached when the pool is made and
// handed out in turn, so a long cast's memory is level from its first frames.
TEST(SharedMemoryImages, AreAllAttachedUpFrontAndHandedOutInTurnOnlyWhenIdle)
{
    TestDisplay x;
    ASSERT_NE(x.display, nullptr) << "no DISPLAY";
    x.createWindow(0, 0, 64, 48, kMark);
    const int screen = DefaultScreen(x.display);
    auto pool = ShmImagePool::create(x.display, DefaultVisual(x.display, screen),
                                     DefaultDepth(x.display, screen), 64, 48, 3);
    ASSERT_TRUE(pool) << "the server refused MIT-SHM";
    ASSERT_EQ(pool->imageCount(), 3u);

    // In turn: each released image goes behind the others; every one is attached,
    // so the server can write into it.
    std::vector<XImage*> handedOut;
    for (int i = 0; i < 6; ++i) {
        XImage* image = pool->acquire();
        ASSERT_NE(image, nullptr);
        ASSERT_TRUE(XShmGetImage(x.display, x.root, image, 0, 0, AllPlanes));
        EXPECT_EQ(rgbAt(reinterpret_cast<uint8_t*>(image->data), 64, 10, 10), kMark);
        handedOut.push_back(image);
        pool->release(image);
    }
    EXPECT_NE(handedOut[0], handedOut[1]);
    EXPECT_NE(handedOut[1], handedOut[2]);
    EXPECT_NE(handedOut[0], handedOut[2]);
    EXPECT_EQ(handedOut[3], handedOut[0]);
    EXPECT_EQ(handedOut[4], handedOut[1]);

    // Held images are not handed out again: a published one comes back when its
    // last holder drops it, and a repeated release lists an image once.
    XImage* first = pool->acquire();
    XImage* second = pool->acquire();
    XImage* third = pool->acquire();
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(pool->acquire(), nullptr);
    {
        std::shared_ptr<uint8_t> frame = pool->publish(first);
        std::shared_ptr<uint8_t> alsoHeld = frame;
        frame.reset();
        EXPECT_EQ(pool->acquire(), nullptr);
    }
    EXPECT_EQ(pool->acquire(), first);
    pool->release(second);
    pool->release(second);
    EXPECT_EQ(pool->acquire(), second);
    EXPECT_EQ(pool->acquire(), nullptr);
    pool->detachAll();
}

class CaptureLibTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(x.display, nullptr) << "no DISPLAY";
        x.movePointer(5, 5);  // on the left monitor, out of the right one's way
    }

    // Covers the right monitor with a known picture.
    Window paintRightMonitor()
    {
        Window window = x.createWindow(1920, 0, 1920, 1080, kBackground);
        x.fill(window, 100, 200, 300, 40, kMark);
        x.fill(window, 1920 - 16, 1080 - 8, 16, 8, 0xFFFFFF);  // bottom-right corner
        return window;
    }

    TestDisplay x;
    FrameCollector frames;
};

TEST(CursorDrawing, BlendsPremultipliedArgbAndClipsAtTheEdges)
{
    // 2x2 cursor: opaque white, opaque blue / half-transparent red, transparent.
    CursorImage cursor;
    cursor.valid = true;
    cursor.argb = {0xFFFFFFFF, 0xFF0000FF, 0x80800000, 0x00000000};
    std::vector<uint8_t> frame(3 * 2 * 4, 0);
    for (size_t i = 0; i < frame.size(); i += 4) frame[i + 1] = 200;  // green
    const unsigned long green = 0x00C800;

    // Left column off the frame's left edge.
    cursor.area = {99, 50, 2, 2};
    drawCursor(cursor, frame.data(), 3, 2, 100, 50);
    EXPECT_EQ(rgbAt(frame.data(), 3, 0, 0), 0x0000FFu);
    EXPECT_EQ(rgbAt(frame.data(), 3, 0, 1), green);  // transparent pixel
    EXPECT_EQ(rgbAt(frame.data(), 3, 1, 0), green);  // clipped away

    // Past the bottom-right corner: only the top-left cursor pixel lands.
    cursor.area = {102, 51, 2, 2};
    drawCursor(cursor, frame.data(), 3, 2, 100, 50);
    EXPECT_EQ(rgbAt(frame.data(), 3, 2, 1), 0xFFFFFFu);
    EXPECT_EQ(rgbAt(frame.data(), 3, 1, 1), green);

    // Off the top edge: the half-transparent red over green.
    cursor.area = {101, 49, 2, 2};
    drawCursor(cursor, frame.data(), 3, 2, 100, 50);
    EXPECT_EQ(rgbAt(frame.data(), 3, 1, 0), 0x806400u);  // 0x80 red + 200 * 127 / 255 green
    EXPECT_EQ(rgbAt(frame.data(), 3, 2, 0), green);
}

TEST_F(CaptureLibTest, MonitorListComesFromRandr)
{
    std::vector<Monitor> monitors = getMonitors();
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[0].x, 0);
    EXPECT_EQ(monitors[0].width, 1920);
    EXPECT_EQ(monitors[1].x, 1920);
    EXPECT_EQ(monitors[1].y, 0);
    EXPECT_EQ(monitors[1].width, 1920);
    EXPECT_EQ(monitors[1].height, 1080);
    EXPECT_FALSE(monitors[0].selected);
    EXPECT_FALSE(monitors[1].selected);
}

TEST_F(CaptureLibTest, SelectedMonitorIsCapturedPixelExactWithTheCursorDrawnIn)
{
    Window window = paintRightMonitor();
    CaptureManager manager([] { return selectIndex(getMonitors(), 1); }, frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();

    ASSERT_TRUE(
        frames.waitForFrame(0, [](const Frame& f) { return frameHas(f, 150, 220, kMark); }));
    Frame frame = frames.last();
    ASSERT_EQ(frame.width, 1920);
    ASSERT_EQ(frame.height, 1080);
    EXPECT_EQ(frame.monitorIndex, 1);
    // Every pixel as drawn (the pointer is on the other monitor).
    int wrong = 0;
    for (int row = 0; row < 1080; ++row)
        for (int column = 0; column < 1920; ++column) {
            unsigned long expected = kBackground;
            if (column >= 100 && column < 400 && row >= 200 && row < 240) expected = kMark;
            if (column >= 1904 && row >= 1072) expected = 0xFFFFFF;
            wrong += rgbAt(frame.data.get(), 1920, column, row) != expected;
        }
    EXPECT_EQ(wrong, 0);

    // The pointer enters the monitor: the next frame shows the cursor image at
    // the pointer, hot spot honoured.
    XFixesCursorImage* cursor = XFixesGetCursorImage(x.display);
    ASSERT_NE(cursor, nullptr) << "the server has no cursor image";
    // The most opaque cursor pixel, blended over the background as
    // premultiplied ARGB (Xlib hands the 32-bit pixels out sign-extended).
    int opaqueX = 0, opaqueY = 0;
    uint32_t opaque = 0;
    for (int i = 0; i < cursor->width * cursor->height; ++i) {
        const uint32_t pixel = static_cast<uint32_t>(cursor->pixels[i]);
        if ((pixel >> 24) > (opaque >> 24)) {
            opaque = pixel;
            opaqueX = i % cursor->width;
            opaqueY = i / cursor->width;
        }
    }
    ASSERT_GT(opaque >> 24, 0u) << "cursor image is fully transparent";
    unsigned long cursorRgb = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t over = (kBackground >> shift) & 0xFF;
        cursorRgb |= static_cast<unsigned long>(((opaque >> shift) & 0xFF) +
                                                over * (255 - (opaque >> 24)) / 255)
                     << shift;
    }
    const int pointerX = 1000, pointerY = 600;  // in the monitor
    const int sampleX = pointerX + opaqueX - cursor->xhot;
    const int sampleY = pointerY + opaqueY - cursor->yhot;
    XFree(cursor);
    EXPECT_TRUE(frameHas(frame, sampleX, sampleY, kBackground));
    int seen = frames.count();
    x.movePointer(1920 + pointerX, pointerY);
    EXPECT_TRUE(frames.waitForFrame(
        seen, [&](const Frame& f) { return frameHas(f, sampleX, sampleY, cursorRgb); }));

    // Leaving again clears it.
    seen = frames.count();
    x.movePointer(5, 5);
    EXPECT_TRUE(frames.waitForFrame(
        seen, [&](const Frame& f) { return frameHas(f, sampleX, sampleY, kBackground); }));
    XDestroyWindow(x.display, window);
}

TEST_F(CaptureLibTest, UnchangedScreenYieldsNoNewFrameAndPauseResumeKeepsTheCapture)
{
    Window window = paintRightMonitor();
    CaptureManager manager([] { return selectIndex(getMonitors(), 1); }, frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();
    ASSERT_TRUE(
        frames.waitForFrame(0, [](const Frame& f) { return frameHas(f, 150, 220, kMark); }));

    // Nothing changes: the capture looks many times and delivers nothing.
    int seen = frames.count();
    ASSERT_TRUE(passesGoBy(manager, 20));
    EXPECT_EQ(frames.count(), seen);

    // A change on the other monitor is not ours either: after it only our own
    // change, drawn later, comes through.
    Window left = x.createWindow(0, 0, 300, 300, 0x00FF00);
    ASSERT_TRUE(passesGoBy(manager, 3));
    x.fill(window, 700, 700, 20, 20, 0x0000FF);
    EXPECT_TRUE(
        frames.waitForFrame(seen, [](const Frame& f) { return frameHas(f, 710, 710, 0x0000FF); }));
    EXPECT_EQ(frames.count(), seen + 1);

    // Paused: drawing delivers nothing; resumed: the drawing comes through.
    manager.pause();
    EXPECT_TRUE(manager.isPaused());
    ASSERT_TRUE(waitUntil([&] { return manager.pausedThreads() == 1; }));
    seen = frames.count();
    x.fill(window, 500, 500, 50, 50, 0xFF0000);
    EXPECT_EQ(manager.pausedThreads(), 1);
    EXPECT_EQ(frames.count(), seen);
    manager.resume();
    EXPECT_TRUE(
        frames.waitForFrame(seen, [](const Frame& f) { return frameHas(f, 520, 520, 0xFF0000); }));
    EXPECT_EQ(manager.builds(), 1);
    XDestroyWindow(x.display, left);
    XDestroyWindow(x.display, window);
}

// What watching and grabbing cost the server. A still screen with the pointer in
// view costs one small request a look (where the pointer is; its image again only
// when its shape changes); a grab adds the image request and the damage it
// answers, nothing more: no round trips of an error trap around each grab.
TEST_F(CaptureLibTest, WatchingAndGrabbingCostTheServerNoMoreRequestsThanNeeded)
{
    Window window = paintRightMonitor();
    x.movePointer(1920 + 50, 50);  // in view: the cursor is watched and drawn
    CaptureManager manager([] { return selectIndex(getMonitors(), 1); }, frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();
    ASSERT_TRUE(
        frames.waitForFrame(0, [](const Frame& f) { return frameHas(f, 150, 220, kMark); }));

    // Still: no frame, one request a look.
    const int seen = frames.count();
    const uint64_t requestsBefore = manager.displayRequests();
    const uint64_t passesBefore = manager.passes();
    ASSERT_TRUE(passesGoBy(manager, 50));
    const uint64_t stillRequests = manager.displayRequests() - requestsBefore;
    const uint64_t stillPasses = manager.passes() - passesBefore;
    EXPECT_EQ(frames.count(), seen);
    // (Plus the once-a-second check that the monitor is still there.)
    constexpr uint64_t kValidation = 8;
    EXPECT_LE(stillRequests, stillPasses + kValidation)
        << stillRequests << " requests in " << stillPasses;

    // Changing: every drawing is grabbed with at most four requests (pointer,
    // damage subtract and fetch, the image).
    uint64_t grabsBefore = manager.grabs();
    const uint64_t changingBefore = manager.displayRequests();
    const uint64_t changingPassesBefore = manager.passes();
    for (int i = 0; i < 20; ++i) {
        const int count = frames.count();
        x.fill(window, 600 + 10 * i, 600, 10, 10, 0x00FFFF);
        const int column = 605 + 10 * i;
        ASSERT_TRUE(frames.waitForFrame(
            count, [&](const Frame& f) { return frameHas(f, column, 605, 0x00FFFF); }));
    }
    const uint64_t grabs = manager.grabs() - grabsBefore;
    const uint64_t lookPasses = manager.passes() - changingPassesBefore - grabs;
    const uint64_t requests = manager.displayRequests() - changingBefore;
    ASSERT_GE(grabs, 20u);
    EXPECT_LE(requests, lookPasses + 4 * grabs + kValidation)
        << requests << " requests for " << grabs << " grabs and " << lookPasses << " looks";
    XDestroyWindow(x.display, window);
}

// A consumer that takes frames on its own clock asks for each look: every ask
// costs one look, a change is grabbed once and handed over before awaitLook
// returns, and the capture's own 10 ms looks wait while asks come. Paused, the
// capture answers no ask, and the consumer is not kept waiting for one.
TEST_F(CaptureLibTest, AskedLooksComeOncePerAskInsteadOfTheIntervalLooks)
{
    using Clock = std::chrono::steady_clock;
    Window window = paintRightMonitor();
    CaptureManager manager([] { return selectIndex(getMonitors(), 1); }, frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();
    ASSERT_TRUE(
        frames.waitForFrame(0, [](const Frame& f) { return frameHas(f, 150, 220, kMark); }));
    ASSERT_TRUE(
        manager.awaitLook(manager.lookBy(Clock::now()), Clock::now() + std::chrono::seconds(5)));

    const uint64_t passesBefore = manager.passes();
    const uint64_t grabsBefore = manager.grabs();
    uint64_t asks = 0;
    for (int i = 0; i < 10; ++i) {
        x.fill(window, 600 + 10 * i, 600, 10, 10, 0x00FFFF);
        const int column = 605 + 10 * i;
        // The damage the drawing caused may reach the capture a look later.
        bool seen = false;
        for (int tries = 0; tries < 50 && !seen; ++tries) {
            const uint64_t ask = manager.lookBy(Clock::now() + std::chrono::milliseconds(20));
            ++asks;
            ASSERT_TRUE(manager.awaitLook(ask, Clock::now() + std::chrono::seconds(5)));
            seen = frameHas(frames.last(), column, 605, 0x00FFFF);
        }
        ASSERT_TRUE(seen) << "drawing " << i << " never came";
    }
    EXPECT_EQ(manager.grabs() - grabsBefore, 10u);
    const uint64_t looks = manager.passes() - passesBefore;
    EXPECT_GE(looks, asks);
    // (Plus one of the interval should a drawing take longer than the hold-off.)
    EXPECT_LE(looks, asks + 1) << looks << " looks for " << asks << " asks";

    manager.pause();
    ASSERT_TRUE(waitUntil([&] { return manager.pausedThreads() == 1; }));
    EXPECT_TRUE(
        manager.awaitLook(manager.lookBy(Clock::now()), Clock::now() + std::chrono::seconds(30)));
    XDestroyWindow(x.display, window);
}

// Redefines the right monitor the way the wrapper script made it.
bool setRightMonitor(int width, int height)
{
    // The server refuses to redefine a monitor in place: delete, then add.
    const std::string command =
        "xrandr --delmonitor RIGHT >/dev/null && xrandr --setmonitor RIGHT " +
        std::to_string(width) + "/508x" + std::to_string(height) + "/286+1920+0 none >/dev/null";
    return std::system(command.c_str()) == 0;
}

TEST_F(CaptureLibTest, ChangedMonitorLayoutRebuildsTheCapture)
{
    Window window = paintRightMonitor();
    CaptureManager manager([] { return selectIndex(getMonitors(), 1); }, frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();
    ASSERT_TRUE(frames.waitForFrame(0, [](const Frame& f) { return f.width == 1920; }));

    ASSERT_TRUE(setRightMonitor(1280, 720));
    const bool rebuilt = frames.waitForFrame(
        frames.count(), [](const Frame& f) { return f.width == 1280 && f.height == 720; },
        std::chrono::milliseconds(8000));
    EXPECT_TRUE(setRightMonitor(1920, 1080));
    EXPECT_TRUE(rebuilt);
    EXPECT_GE(manager.builds(), 2);
    EXPECT_EQ(rgbAt(frames.last().data.get(), 1280, 150, 220), kMark);
    XDestroyWindow(x.display, window);
}

class WindowCaptureTest : public CaptureLibTest {
protected:
    // A reparenting manager's frame (red, 20 px title, 4 px borders) around a
    // green client.
    void createFramedWindow(int width, int height)
    {
        frame = x.createWindow(200, 150, width + 8, height + 24, 0xFF0000);
        client = x.createWindow(4, 20, width, height, 0x00FF00, frame);
        x.setCardinals(client, "WM_STATE", x.atom("WM_STATE"), {1, 0});
        x.fill(client, 10, 10, 20, 20, 0x0000FF);
    }

    WindowProvider provider()
    {
        Window target = client;
        return [target] { return findWindow(target); };
    }

    Window frame = 0;
    Window client = 0;
};

TEST_F(WindowCaptureTest, WindowIsCapturedAtItsVisibleBoundsEvenWhenCovered)
{
    createFramedWindow(400, 300);
    // Another window covers most of it.
    Window cover = x.createWindow(250, 200, 500, 400, 0xFFFF00);
    CaptureManager manager(provider(), frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();

    ASSERT_TRUE(frames.waitForFrame(0));
    Frame f = frames.last();
    EXPECT_EQ(f.window, client);
    ASSERT_EQ(f.width, 408);
    ASSERT_EQ(f.height, 324);
    EXPECT_EQ(rgbAt(f.data.get(), f.width, 1, 1), 0xFF0000u);     // frame
    EXPECT_EQ(rgbAt(f.data.get(), f.width, 200, 10), 0xFF0000u);  // title bar
    EXPECT_EQ(rgbAt(f.data.get(), f.width, 4 + 15, 20 + 15), 0x0000FFu);
    // Under the cover: the window's own content.
    EXPECT_EQ(rgbAt(f.data.get(), f.width, 300, 200), 0x00FF00u);
    EXPECT_EQ(rgbAt(f.data.get(), f.width, 407, 323), 0xFF0000u);

    // Drawing into the covered part comes through as well.
    int seen = frames.count();
    x.fill(client, 300, 200, 30, 30, 0xFF00FF);
    EXPECT_TRUE(frames.waitForFrame(seen, [](const Frame& frame) {
        return rgbAt(frame.data.get(), frame.width, 4 + 310, 20 + 210) == 0xFF00FF;
    }));
    XDestroyWindow(x.display, cover);
}

TEST_F(WindowCaptureTest, ResizedWindowIsCapturedAgainAtItsNewSizeAndClosedWindowEndsCapture)
{
    createFramedWindow(400, 300);
    CaptureManager manager(provider(), frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();
    ASSERT_TRUE(frames.waitForFrame(0));
    EXPECT_EQ(frames.last().width, 408);

    // The manager resizes its frame around a resized client.
    XResizeWindow(x.display, client, 600, 200);
    XResizeWindow(x.display, frame, 608, 224);
    x.fill(client, 0, 0, 600, 200, 0x00FF00);
    int seen = frames.count();
    ASSERT_TRUE(frames.waitForFrame(
        seen, [](const Frame& f) { return f.width == 608 && f.height == 224; },
        std::chrono::milliseconds(8000)));
    EXPECT_GE(manager.builds(), 2);

    // Closed: the capture thread ends (the rebuild that follows comes only after
    // it has), the window list no longer holds the window, nothing crashes, and
    // the last frame delivered is still one of the window.
    const int builds = manager.builds();
    XDestroyWindow(x.display, frame);
    x.sync();
    ASSERT_TRUE(waitUntil([&] { return manager.builds() == builds + 1; }));
    EXPECT_TRUE(findWindow(client).empty());
    EXPECT_EQ(frames.last().width, 608);
}

}  // namespace

namespace {

// Without Composite the window's screen area is captured: covering windows show,
// and the capture follows the window when it moves.
TEST_F(WindowCaptureTest, WithoutCompositeTheScreenAreaIsCaptured)
{
    int event = 0, error = 0;
    if (XCompositeQueryExtension(x.display, &event, &error))
        GTEST_SKIP() << "needs a server without Composite";
    createFramedWindow(400, 300);
    Window cover = x.createWindow(250, 200, 500, 400, 0xFFFF00);
    CaptureManager manager(provider(), frames.callback());
    manager.setFrameChangeInterval(std::chrono::milliseconds(10));
    manager.start();

    ASSERT_TRUE(frames.waitForFrame(0));
    Frame f = frames.last();
    ASSERT_EQ(f.width, 408);
    ASSERT_EQ(f.height, 324);
    EXPECT_EQ(rgbAt(f.data.get(), f.width, 1, 1), 0xFF0000u);
    EXPECT_EQ(rgbAt(f.data.get(), f.width, 300, 200), 0xFFFF00u);  // the cover shows

    XDestroyWindow(x.display, cover);
    XMoveWindow(x.display, frame, 900, 500);
    x.sync();
    int seen = frames.count();
    EXPECT_TRUE(frames.waitForFrame(seen, [](const Frame& moved) {
        return rgbAt(moved.data.get(), moved.width, 300, 200) == 0x00FF00 &&
               rgbAt(moved.data.get(), moved.width, 1, 1) == 0xFF0000;
    }));
    EXPECT_EQ(manager.builds(), 1);
}

}  // namespace
