// The whole pipeline over the test picture and the test tone, through the facade,
// with real encoders, decoded again as a receiver would.
#include "libcapture/desktopsharing/desktopsharing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <thread>

#include "libcapture/desktopsharing/audiocapture.h"
#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/testsources/nullaudiorenderer.h"
#include "libcapture/desktopsharing/testsources/testpatternsource.h"
#include "libcapture/desktopsharing/testsources/testtonecapture.h"
#include "tests/pipeline/mediadecoder.h"
#include "tests/pipeline/packetrecorder.h"

namespace {

constexpr int kFps = 25;
constexpr int kIntervalMs = 1000 / kFps;

class DesktopSharingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Capture::setVideoSource(VideoSourceKind::TestPicture);
        Capture::setAudioSource(AudioSourceKind::TestTone);
        Capture::setFps(kFps);
        Capture::setBitrate(4);
        Capture::setResolution(640);
    }
    void TearDown() override { Capture::stop(); }

    bool initCast()
    {
        Capture::init(&PacketRecorder::callback, &recorder, 0, WindowRecord{});
        return DesktopSharing::instance().isInitialized();
    }
    // Runs the cast for `ms` of wall time, then stops the loops (stays
    // initialised). Returns the milliseconds from start to the end of stop.
    int64_t castFor(int ms)
    {
        auto begin = std::chrono::steady_clock::now();
        Capture::start();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        DesktopSharing::instance().stop();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - begin)
            .count();
    }

    PacketRecorder recorder;
};

bool strictlyIncreasing(const std::vector<RecordedPacket>& packets)
{
    for (size_t i = 1; i < packets.size(); ++i)
        if (packets[i].timestamp <= packets[i - 1].timestamp) return false;
    return true;
}

}  // namespace

TEST_F(DesktopSharingTest, CastsTheTestPictureAndToneAsTimedPackets)
{
    ASSERT_TRUE(initCast());
    EXPECT_EQ(DesktopSharing::instance().outputWidth(), 640);
    EXPECT_EQ(DesktopSharing::instance().outputHeight(), 480);
    int32_t channels = 0, rate = 0, a = -1, b = -1;
    Capture::getAudioInfo(channels, rate, a, b);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 48000);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);

    const int runMs = 2000;
    const int64_t elapsedMs = castFor(runMs);
    std::vector<RecordedPacket> video = recorder.packets(0);
    std::vector<RecordedPacket> audio = recorder.packets(1);

    // About the frame rate: never more than the pacing allows, and not starved.
    ASSERT_FALSE(video.empty());
    EXPECT_LE(video.size(), size_t(elapsedMs / kIntervalMs + 2));
    EXPECT_GE(video.size(), size_t(runMs / kIntervalMs / 3));
    std::vector<int> first = nalUnitTypes(video.front().data);
    EXPECT_NE(std::find(first.begin(), first.end(), 7), first.end()) << "SPS in band";
    EXPECT_NE(std::find(first.begin(), first.end(), 8), first.end()) << "PPS in band";
    EXPECT_NE(std::find(first.begin(), first.end(), 5), first.end()) << "first is an IDR picture";
    EXPECT_TRUE(strictlyIncreasing(video));
    EXPECT_LE(video.back().timestamp, uint32_t(elapsedMs));
    for (const RecordedPacket& packet : video) EXPECT_EQ(packet.codecTag, 2);

    DecodedVideo pictures = decodeVideo(video);
    EXPECT_EQ(pictures.errors, 0);
    EXPECT_EQ(pictures.width, 640);
    EXPECT_EQ(pictures.height, 480);
    ASSERT_EQ(pictures.frameNumbers.size(), video.size());
    for (size_t i = 0; i < pictures.frameNumbers.size(); ++i) {
        ASSERT_GE(pictures.frameNumbers[i], 0) << "picture " << i << " illegible";
        if (i == 0) continue;
        // A picture repeats only as the still-screen re-send, after 100 ms.
        if (video[i].timestamp - video[i - 1].timestamp > 100)
            EXPECT_GE(pictures.frameNumbers[i], pictures.frameNumbers[i - 1]) << i;
        else
            EXPECT_GT(pictures.frameNumbers[i], pictures.frameNumbers[i - 1]) << i;
    }

    ASSERT_GE(audio.size(), 10u) << "two seconds of tone";
    EXPECT_LE(audio.size(), size_t(elapsedMs * 48 / 1024 + 2));
    for (const RecordedPacket& packet : audio) EXPECT_EQ(packet.codecTag, 17);
    for (size_t i = 1; i < audio.size(); ++i) EXPECT_GE(audio[i].timestamp, audio[i - 1].timestamp);
    DecodedAudio sound = decodeAudio(audio);
    EXPECT_EQ(sound.errors, 0);
    EXPECT_EQ(sound.sampleRate, 48000);
    EXPECT_EQ(sound.channels, 2);
    // Skip the encoder's priming frame; the rest is a 1 kHz tone.
    ASSERT_GT(sound.left.size(), 4096u);
    std::vector<float> steady(sound.left.begin() + 2048, sound.left.end());
    double expectedPeriods = steady.size() * 1000.0 / 48000.0;
    EXPECT_NEAR(risingCrossings(steady), expectedPeriods, expectedPeriods * 0.03 + 2);

    std::vector<double> encodeTimes = DesktopSharing::instance().encodeTimesMs();
    EXPECT_GE(encodeTimes.size(), video.size());
    EXPECT_TRUE(
        std::all_of(encodeTimes.begin(), encodeTimes.end(), [](double t) { return t >= 0; }));
}

TEST_F(DesktopSharingTest, SecondInitFailsAndChangesNothing)
{
    ASSERT_TRUE(initCast());
    auto source = DesktopSharing::instance().frameSource();
    Capture::start();
    ASSERT_TRUE(DesktopSharing::instance().isRunning());

    Capture::setResolution(1280);
    Capture::setAudioSource(AudioSourceKind::None);
    CaptureConfig other = Capture::config();
    PacketRecorder otherRecorder;
    EXPECT_FALSE(DesktopSharing::instance().init(other, &PacketRecorder::callback, &otherRecorder,
                                                 0, WindowRecord{}));
    Capture::init(&PacketRecorder::callback, &otherRecorder, 0, WindowRecord{});

    EXPECT_TRUE(DesktopSharing::instance().isRunning());
    EXPECT_EQ(DesktopSharing::instance().outputWidth(), 640);
    EXPECT_EQ(DesktopSharing::instance().frameSource(), source);
    EXPECT_TRUE(DesktopSharing::instance().hasAudio());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    DesktopSharing::instance().stop();
    EXPECT_GT(recorder.count(), 0u) << "the first cast's callback keeps the packets";
    EXPECT_EQ(otherRecorder.count(), 0u);
}

TEST_F(DesktopSharingTest, StopWithoutStartOnlyLogs)
{
    ASSERT_TRUE(initCast());
    DesktopSharing::instance().stop();
    EXPECT_TRUE(DesktopSharing::instance().isInitialized());
    EXPECT_FALSE(DesktopSharing::instance().isRunning());
    EXPECT_FALSE(DesktopSharing::instance().frameSource()->isStarted());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(recorder.count(), 0u);
    // And the cast can still be started afterwards.
    castFor(300);
    EXPECT_GT(recorder.packets(0).size(), 0u);
}

TEST_F(DesktopSharingTest, AStillScreenIsResentAboutEvery100Ms)
{
    ASSERT_TRUE(initCast());
    auto* picture =
        dynamic_cast<TestPatternSource*>(DesktopSharing::instance().frameSource().get());
    ASSERT_NE(picture, nullptr);
    picture->setFrozen(true);  // one picture at start, then nothing new
    const int64_t elapsedMs = castFor(1500);
    std::vector<RecordedPacket> video = recorder.packets(0);
    ASSERT_GE(video.size(), 3u) << "the still picture must be re-sent";
    EXPECT_LE(video.size(), size_t(elapsedMs / 100 + 1));
    for (size_t i = 1; i < video.size(); ++i)
        EXPECT_GT(video[i].timestamp - video[i - 1].timestamp, 100u) << "packet " << i;
    DecodedVideo pictures = decodeVideo(video);
    ASSERT_EQ(pictures.frameNumbers.size(), video.size());
    for (int64_t number : pictures.frameNumbers) EXPECT_EQ(number, 0) << "the same picture";
}

TEST_F(DesktopSharingTest, SilentBlocksAreNotSent)
{
    // A silent device in the test tone's place (amplitude 0).
    ASSERT_EQ(AudioCapture::instance().initWithDevices(
                  20480, std::make_unique<TestToneCapture>(48000, 2, 1000.0, 0.0),
                  std::make_unique<NullAudioRenderer>(), AudioSourceKind::TestTone),
              0);
    ASSERT_TRUE(initCast());
    ASSERT_TRUE(DesktopSharing::instance().hasAudio());
    castFor(800);
    EXPECT_GT(recorder.packets(0).size(), 0u);
    EXPECT_EQ(recorder.packets(1).size(), 0u);
}

TEST(SilenceTest, OnlyTheFirstAndLast128BytesCount)
{
    std::vector<uint8_t> block(4096, 0x00);
    EXPECT_TRUE(DesktopSharing::isSilentBlock(block.data(), block.size()));
    std::fill(block.begin() + 128, block.end() - 128, 0x55);  // sound in the middle only
    EXPECT_TRUE(DesktopSharing::isSilentBlock(block.data(), block.size()));
    block[0] = 0x01;
    block[1] = 0xFF;
    EXPECT_TRUE(DesktopSharing::isSilentBlock(block.data(), block.size()));
    block[127] = 0x02;
    EXPECT_FALSE(DesktopSharing::isSilentBlock(block.data(), block.size()));
    block[127] = 0x00;
    block[4096 - 128] = 0x10;
    EXPECT_FALSE(DesktopSharing::isSilentBlock(block.data(), block.size()));
    std::vector<uint8_t> tiny(10, 0xFF);
    EXPECT_TRUE(DesktopSharing::isSilentBlock(tiny.data(), tiny.size()));
    tiny[5] = 0x80;
    EXPECT_FALSE(DesktopSharing::isSilentBlock(tiny.data(), tiny.size()));
}

TEST_F(DesktopSharingTest, NoAudioSourceCastsVideoOnlyWithAValidStreamHeader)
{
    Capture::setAudioSource(AudioSourceKind::None);
    ASSERT_TRUE(initCast());
    EXPECT_FALSE(DesktopSharing::instance().hasAudio());
    int32_t channels = 0, rate = 0, a = -1, b = -1;
    Capture::getAudioInfo(channels, rate, a, b);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 48000);
    castFor(500);
    EXPECT_GT(recorder.packets(0).size(), 0u);
    EXPECT_EQ(recorder.packets(1).size(), 0u);
}

TEST_F(DesktopSharingTest, MissingSoundDeviceStillCastsVideo)
{
    // No sound server: the system-audio devices cannot start.
    setenv("PULSE_SERVER", "unix:/nonexistent/vantor-no-sound-server", 1);
    Capture::setAudioSource(AudioSourceKind::System);
    ASSERT_TRUE(initCast());
    unsetenv("PULSE_SERVER");
    EXPECT_FALSE(DesktopSharing::instance().hasAudio());
    int32_t channels = 0, rate = 0, a = 0, b = 0;
    Capture::getAudioInfo(channels, rate, a, b);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 48000);
    castFor(300);
    EXPECT_GT(recorder.packets(0).size(), 0u);
    EXPECT_EQ(recorder.packets(1).size(), 0u);
}

TEST_F(DesktopSharingTest, RequestedZeroSizeTakesTheSourceSize)
{
    Capture::setResolution(1366);
    ASSERT_TRUE(initCast());
    EXPECT_EQ(DesktopSharing::instance().outputWidth(), TestPatternSource::kDefaultWidth);
    EXPECT_EQ(DesktopSharing::instance().outputHeight(), TestPatternSource::kDefaultHeight);
}

TEST_F(DesktopSharingTest, EverySessionStartsAfreshAfterStop)
{
    ASSERT_TRUE(initCast());
    castFor(600);
    Capture::stop();
    EXPECT_FALSE(DesktopSharing::instance().isInitialized());
    EXPECT_EQ(DesktopSharing::instance().frameSource(), nullptr);

    PacketRecorder second;
    Capture::init(&PacketRecorder::callback, &second, 0, WindowRecord{});
    ASSERT_TRUE(DesktopSharing::instance().isInitialized());
    EXPECT_TRUE(DesktopSharing::instance().encodeTimesMs().empty()) << "reset at init";
    auto started = std::chrono::steady_clock::now();
    Capture::start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Capture::stop();
    auto sessionMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - started)
                         .count();
    std::vector<RecordedPacket> video = second.packets(0);
    ASSERT_FALSE(video.empty());
    std::vector<int> types = nalUnitTypes(video.front().data);
    EXPECT_NE(std::find(types.begin(), types.end(), 5), types.end()) << "a fresh encoder";
    EXPECT_LE(video.back().timestamp, uint32_t(sessionMs)) << "timestamps restart with every start";
}

TEST(DesktopSharingExit, AProcessMayEndInTheMiddleOfACast)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PacketRecorder recorder;
            Capture::setVideoSource(VideoSourceKind::TestPicture);
            Capture::setAudioSource(AudioSourceKind::TestTone);
            Capture::setResolution(640);
            Capture::init(&PacketRecorder::callback, &recorder, 0, WindowRecord{});
            Capture::start();
            while (recorder.packets(1).empty())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::exit(3);
        },
        ::testing::ExitedWithCode(3), "");
}
