// MixScreenCapture as the pipeline uses it, against a private Xvfb: two
// 1920x1080 monitors (left painted one colour, right another), or one monitor
// for the SingleMonitor cases.
#include "libcapture/desktopsharing/screencapture/mixscreencapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "libcapture/screencapturelib/screencapturelib.h"
#include "tests/screencapture/testdisplay.h"

namespace {

constexpr unsigned long kLeft = 0x112233;
constexpr unsigned long kRight = 0x445566;

// Polls getFrame like the video loop does; true once a frame came.
bool nextFrame(MixScreenCapture& capture, std::shared_ptr<uint8_t>& frame, int& size, int& width,
               int& height)
{
    for (int i = 0; i < 500; ++i) {
        if (capture.getFrame(frame, size, width, height) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class MixScreenCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(x.display, nullptr) << "no DISPLAY";
        x.movePointer(0, 1079);
        const int screenWidth = DisplayWidth(x.display, DefaultScreen(x.display));
        left = x.createWindow(0, 0, 1920, 1080, kLeft);
        if (screenWidth >= 3840) right = x.createWindow(1920, 0, 1920, 1080, kRight);
    }

    // The colour in the middle of the frame the capture delivers in `mode`.
    unsigned long capturedColour(int mode)
    {
        MixScreenCapture capture;
        EXPECT_EQ(capture.init(0, mode, WindowRecord{}), 0);
        EXPECT_EQ(capture.start(), 0);
        std::shared_ptr<uint8_t> frame;
        int size = 0, width = 0, height = 0;
        if (!nextFrame(capture, frame, size, width, height)) return 0xFFFFFFFF;
        EXPECT_EQ(width, 1920);
        EXPECT_EQ(height, 1080);
        EXPECT_EQ(size, 1920 * 1080 * 4);
        return rgbAt(frame.get(), width, 960, 540);
    }

    TestDisplay x;
    Window left = 0;
    Window right = 0;
};

TEST_F(MixScreenCaptureTest, ModesPickTheFirstOrTheLastMonitor)
{
    EXPECT_EQ(capturedColour(0), kLeft);
    EXPECT_EQ(capturedColour(1), kRight);
    EXPECT_EQ(capturedColour(7), kRight);  // anything else is like 1

    MixScreenCapture capture;
    capture.init(0, 1, WindowRecord{});
    int width = 0, height = 0;
    ASSERT_TRUE(capture.sourceSize(width, height));
    EXPECT_EQ(width, 1920);
    EXPECT_EQ(height, 1080);
}

TEST_F(MixScreenCaptureTest, GetFrameReportsEachFrameOnceAndAgainAfterTheCallerDropsIt)
{
    MixScreenCapture capture;
    std::shared_ptr<uint8_t> frame;
    int size = 0, width = 0, height = 0;
    EXPECT_EQ(capture.start(), -1);  // before init
    EXPECT_EQ(capture.getFrame(frame, size, width, height), -1);

    // init twice keeps the first mode.
    EXPECT_EQ(capture.init(0, 0, WindowRecord{}), 0);
    EXPECT_EQ(capture.init(0, 1, WindowRecord{}), 0);
    EXPECT_EQ(capture.start(), 0);
    EXPECT_TRUE(capture.isStarted());
    ASSERT_TRUE(nextFrame(capture, frame, size, width, height));
    EXPECT_EQ(rgbAt(frame.get(), width, 960, 540), kLeft);
    EXPECT_EQ(capture.frameWidth(), 1920);

    // Still screen: the capture looks again and again, and nothing new comes while
    // the caller holds the current frame.
    const uint64_t passes = capture.capturePasses();
    for (int i = 0; i < 500 && capture.capturePasses() < passes + 10; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(capture.capturePasses(), passes + 10);
    std::shared_ptr<uint8_t> held = frame;
    EXPECT_EQ(capture.getFrame(frame, size, width, height), -1);
    // Dropped: the same frame comes again.
    frame.reset();
    ASSERT_EQ(capture.getFrame(frame, size, width, height), 0);
    EXPECT_EQ(frame.get(), held.get());

    // A change brings a new buffer; the held one is untouched.
    x.fill(left, 900, 500, 100, 100, 0xABCDEF);
    ASSERT_TRUE(nextFrame(capture, frame, size, width, height));
    EXPECT_NE(frame.get(), held.get());
    EXPECT_EQ(rgbAt(frame.get(), width, 960, 540), 0xABCDEFu);
    EXPECT_EQ(rgbAt(held.get(), width, 960, 540), kLeft);

    // stop pauses, start resumes the same capture.
    EXPECT_EQ(capture.stop(), 0);
    EXPECT_TRUE(capture.isStarted());
    EXPECT_EQ(capture.start(), 0);
    x.fill(left, 900, 500, 100, 100, 0x00FF00);
    ASSERT_TRUE(nextFrame(capture, frame, size, width, height));
    EXPECT_EQ(rgbAt(frame.get(), width, 960, 540), 0x00FF00u);
    EXPECT_EQ(capture.captureBuilds(), 1);

    // exit then init takes the new mode.
    EXPECT_EQ(capture.exit(), 0);
    EXPECT_FALSE(capture.isStarted());
    EXPECT_EQ(capture.getFrame(frame, size, width, height), -1);
    EXPECT_EQ(capture.init(0, 1, WindowRecord{}), 0);
    EXPECT_EQ(capture.start(), 0);
    for (int i = 0; i < 100 && rgbAt(frame.get(), width, 960, 540) != kRight; ++i)
        ASSERT_TRUE(nextFrame(capture, frame, size, width, height));
    EXPECT_EQ(rgbAt(frame.get(), width, 960, 540), kRight);
}

TEST_F(MixScreenCaptureTest, WindowModeCapturesTheWindowAndKeepsTheLastFrameWhenItCloses)
{
    Window window = x.createWindow(300, 200, 640, 480, 0x773311);
    WindowRecord record;
    record.handle = window;
    MixScreenCapture capture;
    capture.init(0, 2, record);
    int width = 0, height = 0;
    ASSERT_TRUE(capture.sourceSize(width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    ASSERT_EQ(capture.start(), 0);
    std::shared_ptr<uint8_t> frame;
    int size = 0;
    ASSERT_TRUE(nextFrame(capture, frame, size, width, height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);
    EXPECT_EQ(rgbAt(frame.get(), width, 320, 240), 0x773311u);

    // The capture thread ends once it sees the window gone; the rebuild follows.
    XDestroyWindow(x.display, window);
    x.sync();
    for (int i = 0; i < 800 && capture.captureBuilds() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(capture.captureBuilds(), 2);
    frame.reset();
    ASSERT_EQ(capture.getFrame(frame, size, width, height), 0);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(rgbAt(frame.get(), width, 320, 240), 0x773311u);
    EXPECT_FALSE(capture.sourceSize(width, height));
}

TEST_F(MixScreenCaptureTest, SingleMonitorModeOneCapturesThatMonitor)
{
    if (right) GTEST_SKIP() << "needs a one-monitor display";
    EXPECT_EQ(ScreenCaptureLib::getMonitors().size(), 1u);
    EXPECT_EQ(capturedColour(1), kLeft);
    EXPECT_EQ(capturedColour(0), kLeft);
}

}  // namespace
