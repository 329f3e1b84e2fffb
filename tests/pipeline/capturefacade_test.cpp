// The facade's quality record and its fallbacks.
#include <gtest/gtest.h>

#include "libcapture/desktopsharing/capture.h"

TEST(CaptureFacade, DefaultsOfTheQualityRecord)
{
    CaptureConfig config = Capture::config();
    EXPECT_EQ(config.bitRate, 4000000);
    EXPECT_EQ(config.frameRate, 25);
    EXPECT_EQ(config.gop, 25);
    EXPECT_EQ(config.width, 0);
    EXPECT_EQ(config.height, 0);
    EXPECT_EQ(config.codec, "h264");
}

TEST(CaptureFacade, BitrateIsMegabitsShiftedWithAFallback)
{
    EXPECT_EQ(Capture::setBitrate(20), 0);
    EXPECT_EQ(Capture::config().bitRate, 20971520);
    Capture::setBitrate(0);
    EXPECT_EQ(Capture::config().bitRate, 6000000);
    Capture::setBitrate(4);
    EXPECT_EQ(Capture::config().bitRate, 4194304);
    Capture::setBitrate(21);
    EXPECT_EQ(Capture::config().bitRate, 6000000);
    Capture::setBitrate(1);
    EXPECT_EQ(Capture::config().bitRate, 1048576);
    Capture::setBitrate(-1);  // reads as a huge unsigned value
    EXPECT_EQ(Capture::config().bitRate, 6000000);
    Capture::setBitrate(4096);  // wraps to 0 bit/s
    EXPECT_EQ(Capture::config().bitRate, 6000000);
}

TEST(CaptureFacade, FrameRateOutsideTenToSixtyFallsBackTo25)
{
    Capture::setFps(9);
    EXPECT_EQ(Capture::config().frameRate, 25);
    Capture::setFps(10);
    EXPECT_EQ(Capture::config().frameRate, 10);
    Capture::setFps(61);
    EXPECT_EQ(Capture::config().frameRate, 25);
    Capture::setFps(60);
    EXPECT_EQ(Capture::config().frameRate, 60);
    Capture::setFps(30);
    EXPECT_EQ(Capture::config().frameRate, 30);
    EXPECT_EQ(Capture::config().gop, 25) << "nothing changes the key-frame interval";
}

TEST(CaptureFacade, ResolutionTable)
{
    const struct {
        int value, width, height;
    } table[] = {{640, 640, 480},    {1280, 1280, 720}, {1920, 1920, 1080},
                 {3840, 3840, 2160}, {1366, 0, 0},      {0, 0, 0}};
    for (const auto& row : table) {
        Capture::setResolution(row.value);
        EXPECT_EQ(Capture::config().width, row.width) << row.value;
        EXPECT_EQ(Capture::config().height, row.height) << row.value;
    }
}

TEST(CaptureFacade, AudioInfoBeforeAnyInitIsZero)
{
    int32_t channels = -1, rate = -1, a = -1, b = -1;
    EXPECT_EQ(Capture::getAudioInfo(channels, rate, a, b), 0);
    EXPECT_EQ(channels, 0);
    EXPECT_EQ(rate, 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
}

TEST(CaptureFacade, StopAndStartWithoutInitDoNothing)
{
    EXPECT_EQ(Capture::start(), 0);
    EXPECT_EQ(Capture::stop(), 0);
    int32_t channels = -1, rate = -1, a = -1, b = -1;
    Capture::getAudioInfo(channels, rate, a, b);
    EXPECT_EQ(channels, 0);
}
