// The pipeline on the real devices, under a private Xvfb and PulseAudio: sources
// whose own format the encoders cannot take as it is.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/desktopsharing.h"
#include "libcapture/desktopsharing/screencapture/mixscreencapture.h"
#include "libcapture/desktopsharing/screencapture/windowenumeration.h"
#include "tests/audiodevices/audiotestsupport.h"
#include "tests/pipeline/mediadecoder.h"
#include "tests/pipeline/packetrecorder.h"
#include "tests/pipeline/plainwindow.h"

namespace {

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class RealDevices : public ::testing::Test {
protected:
    void SetUp() override
    {
        Capture::setFps(25);
        Capture::setBitrate(4);
    }
    void TearDown() override
    {
        Capture::stop();
        DesktopSharing::instance().exit();
    }
    // Starts the initialised cast and stops it once `count` packets of the type came.
    bool castUntil(int mediaType, size_t count)
    {
        Capture::start();
        const bool enough = waitUntil([&] { return recorder.packets(mediaType).size() >= count; },
                                      std::chrono::seconds(20));
        DesktopSharing::instance().stop();
        return enough;
    }

    PacketRecorder recorder;
};

// A window on the screen whose colour changes all the time, on a thread of its own.
class ChangingWindow {
public:
    ChangingWindow() : window_(640, 480)
    {
        thread_ = std::thread([this] {
            for (uint32_t i = 0; !stop_; ++i) {
                window_.paint((i * 0x010307u) & 0xFFFFFFu);
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            }
        });
    }
    ~ChangingWindow()
    {
        stop_ = true;
        thread_.join();
    }
    bool shown() const { return window_.id() != 0; }

private:
    PlainWindow window_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The screen capture of the cast being set up, once initialised.
MixScreenCapture* screenCapture()
{
    return dynamic_cast<MixScreenCapture*>(DesktopSharing::instance().frameSource().get());
}

}  // namespace

// The capture looks at the screen when the video loop is about to take a frame,
// not on a clock of its own: over a screen that changes all the time, cast at 10
// fps, looks and grabs stay at about one per frame taken (a capture that looked
// every 10 ms would grab ten a frame). Counted by the capture, not timed.
TEST_F(RealDevices, AChangingScreenIsGrabbedAboutOnceAFrameTaken)
{
    ChangingWindow changing;
    ASSERT_TRUE(changing.shown()) << "no X display";
    Capture::setFps(10);
    Capture::setVideoSource(VideoSourceKind::Screen);
    Capture::setAudioSource(AudioSourceKind::None);
    Capture::setResolution(1280);
    Capture::init(&PacketRecorder::callback, &recorder, 0, WindowRecord{});
    ASSERT_TRUE(DesktopSharing::instance().isInitialized())
        << DesktopSharing::instance().lastInitError();
    MixScreenCapture* capture = screenCapture();
    ASSERT_NE(capture, nullptr);

    ASSERT_TRUE(castUntil(0, 20));
    // Stopped: the counts are final.
    const uint64_t frames = recorder.count(0);
    const uint64_t looks = capture->capturePasses();
    const uint64_t grabs = capture->captureGrabs();
    // The first look may come before the loop's first ask, the last after its last frame.
    constexpr uint64_t kSlack = 3;
    EXPECT_LE(looks, frames + kSlack) << looks << " looks for " << frames << " frames";
    EXPECT_LE(grabs, frames + kSlack) << grabs << " grabs for " << frames << " frames";
    // The screen did change between frames: what was sent was mostly new pictures.
    EXPECT_GE(grabs, frames / 2) << grabs << " grabs for " << frames << " frames";
}

// A still screen is looked at once a frame but never grabbed again, and its
// picture still goes out: re-encoded once more than 100 ms passed since the last.
TEST_F(RealDevices, AStillScreenIsNotGrabbedAgainAndStillSent)
{
    Capture::setVideoSource(VideoSourceKind::Screen);
    Capture::setAudioSource(AudioSourceKind::None);
    Capture::setResolution(1280);
    Capture::init(&PacketRecorder::callback, &recorder, 0, WindowRecord{});
    ASSERT_TRUE(DesktopSharing::instance().isInitialized())
        << DesktopSharing::instance().lastInitError();
    MixScreenCapture* capture = screenCapture();
    ASSERT_NE(capture, nullptr);

    ASSERT_TRUE(castUntil(0, 8));
    EXPECT_EQ(capture->captureGrabs(), 1u);
    EXPECT_GT(capture->capturePasses(), 8u);
    const std::vector<int64_t> timestamps = recorder.timestamps(0);
    constexpr int64_t kInterval = 1000 / 25;
    for (size_t i = 1; i < timestamps.size(); ++i) {
        const int64_t gap = timestamps[i] - timestamps[i - 1];
        EXPECT_GT(gap, 100) << "frame " << i;
        EXPECT_LE(gap, 100 + 5 * kInterval) << "frame " << i;
    }
}

// 4:2:0 pictures have even sides: a window of odd size, cast at its own size,
// is encoded one pixel smaller each way instead of not at all.
TEST_F(RealDevices, AnOddSizedWindowAtItsOwnSizeIsEncodedAtEvenSize)
{
    PlainWindow window(801, 601);
    ASSERT_NE(window.id(), 0u) << "no X display";
    const std::vector<WindowRecord> found = findWindow(window.id());
    ASSERT_EQ(found.size(), 1u);

    Capture::setVideoSource(VideoSourceKind::Screen);
    Capture::setAudioSource(AudioSourceKind::None);
    Capture::setResolution(1366);  // no such choice: the source's own size
    Capture::init(&PacketRecorder::callback, &recorder, 2, found.front());
    ASSERT_TRUE(DesktopSharing::instance().isInitialized())
        << DesktopSharing::instance().lastInitError();
    EXPECT_EQ(DesktopSharing::instance().outputWidth(), 800);
    EXPECT_EQ(DesktopSharing::instance().outputHeight(), 600);

    ASSERT_TRUE(castUntil(0, 5));
    const DecodedVideo video = decodeVideo(recorder.packets(0));
    EXPECT_EQ(video.errors, 0);
    EXPECT_EQ(video.width, 800);
    EXPECT_EQ(video.height, 600);
    EXPECT_GE(video.frameNumbers.size(), 5u);
}

// A 7.1 output (eight channels, as HDMI often reports) is captured as stereo,
// which the sound server downmixes: picture and sound both go out.
TEST_F(RealDevices, AnEightChannelOutputIsCastAsStereo)
{
    ASSERT_FALSE(runCommand("pactl load-module module-null-sink sink_name=surround channels=8 "
                            "channel_map=surround-71 rate=48000 && pactl set-default-sink surround")
                     .empty());
    Capture::setVideoSource(VideoSourceKind::TestPicture);
    Capture::setAudioSource(AudioSourceKind::System);
    Capture::setResolution(640);
    Capture::init(&PacketRecorder::callback, &recorder, 0, WindowRecord{});
    ASSERT_TRUE(DesktopSharing::instance().isInitialized())
        << DesktopSharing::instance().lastInitError();
    EXPECT_TRUE(DesktopSharing::instance().hasAudio());
    int32_t channels = 0, rate = 0, reserved1 = 0, reserved2 = 0;
    Capture::getAudioInfo(channels, rate, reserved1, reserved2);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 48000);

    Capture::start();
    ASSERT_TRUE(playToneWithPacat("surround", "s16le", 48000, 8, 1000, 1.5));
    ASSERT_TRUE(
        waitUntil([&] { return recorder.packets(1).size() >= 40; }, std::chrono::seconds(20)));
    DesktopSharing::instance().stop();

    const DecodedAudio audio = decodeAudio(recorder.packets(1));
    EXPECT_EQ(audio.errors, 0);
    EXPECT_EQ(audio.channels, 2);
    EXPECT_EQ(audio.sampleRate, 48000);
    // Only sound is sent (silent blocks are not): the tone, at its pitch.
    const double seconds = double(audio.left.size()) / 48000;
    ASSERT_GT(seconds, 0.5);
    EXPECT_NEAR(risingCrossings(audio.left) / seconds, 1000, 50);
    EXPECT_GT(decodeVideo(recorder.packets(0)).frameNumbers.size(), 0u);
}
