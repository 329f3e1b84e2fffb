// The whole pipeline over the test picture and the test tone, through the facade,
// with real encoders, decoded again as a receiver would.
#include "libcapture/desktopsharing/desktopsharing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "libcapture/desktopsharing/audiocapture.h"
#include "libcapture/desktopsharing/capture.h"
#include "libcapture/desktopsharing/testsources/nullaudiorenderer.h"
#include "libcapture/desktopsharing/testsources/testpatternsource.h"
#include "libcapture/desktopsharing/testsources/testtonecapture.h"
#include "tests/pipeline/mediadecoder.h"
#include "tests/pipeline/packetrecorder.h"
#include "tests/pipeline/streamcadence.h"

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
    // Runs the cast until the recorder holds what `enough` asks for (or 30 s
    // went by), then stops the loops (stays initialised). Returns the
    // milliseconds from start to the end of stop.
    template <typename Enough>
    int64_t castUntil(Enough enough)
    {
        auto begin = std::chrono::steady_clock::now();
        Capture::start();
        waitUntil(enough);
        DesktopSharing::instance().stop();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - begin)
            .count();
    }

    template <typename Done>
    static bool waitUntil(Done done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    // The cast has reached `ms` of its own time in video.
    bool videoReached(int64_t ms) const
    {
        const std::vector<int64_t> video = recorder.timestamps(0);
        return !video.empty() && video.back() >= ms;
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

    // Two seconds of pictures and of tone.
    const int64_t elapsedMs =
        castUntil([&] { return recorder.count(0) >= 50 && recorder.count(1) >= 94; });
    std::vector<RecordedPacket> video = recorder.packets(0);
    std::vector<RecordedPacket> audio = recorder.packets(1);

    // Paced at the frame rate by the stream's own clock.
    ASSERT_GE(video.size(), 50u);
    EXPECT_TRUE(streamcadence::pacedAt(recorder.timestamps(0), kFps));
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

    ASSERT_GE(audio.size(), 94u) << "two seconds of tone";
    for (const RecordedPacket& packet : audio) EXPECT_EQ(packet.codecTag, 17);
    EXPECT_TRUE(streamcadence::advancesByFrameDuration(recorder.timestamps(1), 48000));
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
    // Pictures and sound made after the refused init still reach the first cast.
    const size_t video = recorder.count(0), audio = recorder.count(1);
    EXPECT_TRUE(waitUntil([&] {
        return recorder.count(0) >= video + 5 && recorder.count(1) >= audio + 5;
    })) << "the first cast's callback keeps the packets";
    DesktopSharing::instance().stop();
    EXPECT_EQ(otherRecorder.count(), 0u);
}

TEST_F(DesktopSharingTest, StopWithoutStartOnlyLogs)
{
    ASSERT_TRUE(initCast());
    DesktopSharing::instance().stop();
    EXPECT_TRUE(DesktopSharing::instance().isInitialized());
    EXPECT_FALSE(DesktopSharing::instance().isRunning());
    EXPECT_FALSE(DesktopSharing::instance().frameSource()->isStarted());
    // No loop runs that could hand out a packet.
    EXPECT_EQ(recorder.count(), 0u);
    // And the cast can still be started afterwards.
    castUntil([&] { return recorder.count(0) >= 3; });
    EXPECT_GE(recorder.count(0), 3u);
}

TEST_F(DesktopSharingTest, AStillScreenIsResentAboutEvery100Ms)
{
    ASSERT_TRUE(initCast());
    auto* picture =
        dynamic_cast<TestPatternSource*>(DesktopSharing::instance().frameSource().get());
    ASSERT_NE(picture, nullptr);
    picture->setFrozen(true);  // one picture at start, then nothing new
    castUntil([&] { return recorder.count(0) >= 6; });
    std::vector<RecordedPacket> video = recorder.packets(0);
    ASSERT_GE(video.size(), 6u) << "the still picture must be re-sent";
    // Re-sent once more than 100 ms have passed, at the next frame tick or a few later.
    for (size_t i = 1; i < video.size(); ++i) {
        const uint32_t gap = video[i].timestamp - video[i - 1].timestamp;
        EXPECT_GT(gap, 100u) << "packet " << i;
        EXPECT_LE(gap, 100u + streamcadence::kMaxGapIntervals * kIntervalMs) << "packet " << i;
    }
    DecodedVideo pictures = decodeVideo(video);
    ASSERT_EQ(pictures.frameNumbers.size(), video.size());
    for (int64_t number : pictures.frameNumbers) EXPECT_EQ(number, 0) << "the same picture";
}

TEST_F(DesktopSharingTest, SilentBlocksAreNotSent)
{
    // A silent device in the test tone's place (amplitude 0).
    auto device = std::make_unique<TestToneCapture>(48000, 2, 1000.0, 0.0);
    TestToneCapture* silence = device.get();
    ASSERT_EQ(AudioCapture::instance().initWithDevices(20480, std::move(device),
                                                       std::make_unique<NullAudioRenderer>(),
                                                       AudioSourceKind::TestTone),
              0);
    ASSERT_TRUE(initCast());
    ASSERT_TRUE(DesktopSharing::instance().hasAudio());
    // The audio loop, the only reader, has taken twenty blocks of silence.
    const auto blocksRead = [&] {
        const int64_t read = int64_t(silence->framesDelivered()) -
                             int64_t(AudioCapture::instance().availableFrames());
        return read / streamcadence::kAacFrameSamples;
    };
    castUntil([&] { return recorder.count(0) > 0 && blocksRead() >= 20; });
    EXPECT_GE(blocksRead(), 20);
    EXPECT_GT(recorder.count(0), 0u);
    EXPECT_EQ(recorder.count(1), 0u);
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
    // Far longer than the tone would take to give its first packet.
    castUntil([&] { return videoReached(300); });
    EXPECT_TRUE(videoReached(300));
    EXPECT_EQ(recorder.count(1), 0u);
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
    castUntil([&] { return videoReached(300); });
    EXPECT_TRUE(videoReached(300));
    EXPECT_EQ(recorder.count(1), 0u);
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
    castUntil([&] { return recorder.count(0) >= 10; });
    Capture::stop();
    EXPECT_FALSE(DesktopSharing::instance().isInitialized());
    EXPECT_EQ(DesktopSharing::instance().frameSource(), nullptr);

    PacketRecorder second;
    Capture::init(&PacketRecorder::callback, &second, 0, WindowRecord{});
    ASSERT_TRUE(DesktopSharing::instance().isInitialized());
    EXPECT_TRUE(DesktopSharing::instance().encodeTimesMs().empty()) << "reset at init";
    auto started = std::chrono::steady_clock::now();
    Capture::start();
    waitUntil([&] { return second.count(0) >= 3; });
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
