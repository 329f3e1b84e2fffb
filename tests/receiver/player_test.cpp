// The parts of --play that need no window: picture placement, the title, the
// clock the sound follows, the latency figures and log, and the two decoders on a
// real H.264 and AAC stream.
#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "tests/receiver/testmedia.h"
#include "tools/vantor-receiver/player/aacdecoder.h"
#include "tools/vantor-receiver/player/h264decoder.h"
#include "tools/vantor-receiver/player/latencylog.h"
#include "tools/vantor-receiver/player/letterbox.h"
#include "tools/vantor-receiver/player/presentlatency.h"
#include "tools/vantor-receiver/player/streamclock.h"
#include "tools/vantor-receiver/player/windowtitle.h"
#include "tools/vantor-receiver/receiveroptions.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vantor::receiver::test {
namespace {

TEST(Letterbox, WidePictureInATallWindowGetsBarsAboveAndBelow)
{
    const PictureRect r = letterbox(1920, 1080, 1280, 1024);
    EXPECT_EQ(r.width, 1280);
    EXPECT_EQ(r.height, 720);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 152);
}

TEST(Letterbox, NarrowPictureInAWideWindowGetsBarsLeftAndRight)
{
    const PictureRect r = letterbox(640, 480, 1920, 1080);
    EXPECT_EQ(r.width, 1440);
    EXPECT_EQ(r.height, 1080);
    EXPECT_EQ(r.x, 240);
    EXPECT_EQ(r.y, 0);
}

TEST(Letterbox, SameShapeFillsTheWindowAndNothingFitsNothing)
{
    const PictureRect r = letterbox(1280, 720, 1920, 1080);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.width, 1920);
    EXPECT_EQ(r.height, 1080);
    const PictureRect none = letterbox(0, 0, 1920, 1080);
    EXPECT_EQ(none.width, 0);
    EXPECT_EQ(none.height, 0);
}

TEST(WindowTitle, NamesTheReceiverTheSenderAndTheState)
{
    const std::string waiting = windowTitle("Den", "123456", PlayState::Waiting, "");
    EXPECT_NE(waiting.find("Den"), std::string::npos);
    EXPECT_NE(waiting.find("123456"), std::string::npos);
    EXPECT_NE(waiting.find("waiting"), std::string::npos);
    const std::string casting =
        windowTitle("Den", "123456", PlayState::Casting, "laptop (127.0.0.1)");
    EXPECT_NE(casting.find("casting from laptop (127.0.0.1)"), std::string::npos);
    const std::string ended = windowTitle("Den", "123456", PlayState::Ended, "laptop");
    EXPECT_NE(ended.find("laptop ended"), std::string::npos);
    const std::string failed = windowTitle("Den", "123456", PlayState::Failed, "laptop");
    EXPECT_NE(failed.find("ended with an error"), std::string::npos);
}

TEST(StreamClock, KnowsNothingBeforeThePicturesAndFollowsThemSmoothly)
{
    StreamClock clock;
    int64_t due = 0;
    EXPECT_FALSE(clock.dueTime(100, &due));
    clock.notePresented(1000, 5'000'000'000);  // timestamp 1 s shown at 5 s
    ASSERT_TRUE(clock.dueTime(1500, &due));
    EXPECT_EQ(due, 5'500'000'000);
    // One picture 80 ms late moves the clock by a fraction of that only.
    clock.notePresented(1040, 5'120'000'000);
    ASSERT_TRUE(clock.dueTime(1000, &due));
    EXPECT_GT(due, 5'000'000'000);
    EXPECT_LT(due, 5'040'000'000);
}

FrameTiming timing(int64_t receivedMs, int64_t presentedMs)
{
    FrameTiming t;
    t.castNumber = 1;
    t.frameNumber = 7;
    t.timestamp = 33;
    t.receivedNs = receivedMs * 1'000'000;
    t.decodedNs = t.receivedNs + 1'000'000;
    t.presentedNs = presentedMs < 0 ? 0 : presentedMs * 1'000'000;
    return t;
}

TEST(PresentLatency, MedianOfWhatWasShownSinceTheLastQuestion)
{
    PresentLatency latency;
    EXPECT_EQ(latency.takeMedianMs(), -1);
    latency.add(timing(100, 104));
    latency.add(timing(200, 210));
    latency.add(timing(300, 306));
    latency.add(timing(400, -1));  // replaced unseen
    EXPECT_DOUBLE_EQ(latency.takeMedianMs(), 6.0);
    EXPECT_EQ(latency.takeMedianMs(), -1);
    EXPECT_EQ(latency.presented(), 3u);
    EXPECT_EQ(latency.dropped(), 1u);
}

TEST(LatencyLog, OneLinePerFrameWithItsTimes)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("latency.log").toStdString();
    std::string error;
    {
        LatencyLog log;
        ASSERT_TRUE(log.open(path, &error)) << error;
        log.write(timing(100, 104));
        log.write(timing(200, -1));
    }
    std::ifstream in(path);
    std::string first, second, extra;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_FALSE(std::getline(in, extra));
    EXPECT_EQ(first,
              "cast=1 frame=7 ts=33 received_ns=100000000 decoded_ns=101000000 "
              "presented_ns=104000000");
    EXPECT_EQ(second,
              "cast=1 frame=7 ts=33 received_ns=200000000 decoded_ns=201000000 "
              "presented_ns=dropped");
    LatencyLog nowhere;
    EXPECT_FALSE(nowhere.open(dir.filePath("missing/dir/latency.log").toStdString(), &error));
    EXPECT_FALSE(error.empty());
}

TEST(H264Decoder, EveryPacketGivesItsPictureAtOnce)
{
    const TestStream stream = encodeTestStream(12, 0);
    ASSERT_EQ(stream.video.size(), 12u) << "libx264 missing?";
    H264Decoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.open(&error)) << error;
    for (size_t i = 0; i < stream.video.size(); ++i) {
        int pictures = 0;
        ASSERT_TRUE(decoder.decode(
            stream.video[i].data.data(), stream.video[i].data.size(),
            [&](AVFrame* picture) {
                EXPECT_EQ(picture->width, 64);
                EXPECT_EQ(picture->height, 64);
                ++pictures;
                av_frame_free(&picture);
            },
            &error))
            << error;
        // No reordering and no thread delay: the picture does not wait for the next packet.
        EXPECT_EQ(pictures, 1) << "packet " << i;
    }
}

TEST(H264Decoder, DamagedDataSpoilsNothingAfterTheNextKeyFrame)
{
    const TestStream stream = encodeTestStream(6, 0);
    ASSERT_EQ(stream.video.size(), 6u) << "libx264 missing?";
    H264Decoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.open(&error)) << error;
    int pictures = 0;
    auto count = [&](AVFrame* picture) {
        ++pictures;
        av_frame_free(&picture);
    };
    const Bytes garbage = {0, 0, 0, 1, 0x65, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    decoder.decode(garbage.data(), garbage.size(), count, &error);
    EXPECT_EQ(pictures, 0);
    // The stream's first packet is a key frame with its parameter sets.
    for (const TimedPacket& packet : stream.video)
        EXPECT_TRUE(decoder.decode(packet.data.data(), packet.data.size(), count, &error)) << error;
    EXPECT_EQ(pictures, 6);
}

TEST(AacDecoder, GivesInterleaved16BitSoundAtTheStreamsRate)
{
    const TestStream stream = encodeTestStream(0, 8);
    ASSERT_GE(stream.audio.size(), 8u) << "AAC encoder missing?";
    AacDecoder decoder;
    std::string error;
    ASSERT_TRUE(decoder.open(&error)) << error;
    int blocks = 0;
    bool heardSomething = false;
    for (const TimedPacket& packet : stream.audio) {
        DecodedSound sound;
        ASSERT_TRUE(decoder.decode(packet.data.data(), packet.data.size(), &sound, &error))
            << error;
        if (sound.frames == 0) continue;
        ++blocks;
        EXPECT_EQ(sound.frames, 1024);
        EXPECT_EQ(sound.channels, 2);
        EXPECT_EQ(sound.sampleRate, 48000);
        EXPECT_EQ(sound.samples.size(), 2048u);
        for (int16_t s : sound.samples) heardSomething = heardSomething || s > 1000 || s < -1000;
    }
    EXPECT_GE(blocks, 7);
    EXPECT_TRUE(heardSomething);
}

bool parses(const QStringList& arguments, ReceiverOptions* options, int* exitCode)
{
    return parseReceiverOptions(QStringList{"vantor-receiver", "--code", "123456"} + arguments,
                                options, exitCode);
}

TEST(ReceiverPlayOptions, PlayFullscreenAndLatencyLog)
{
    ReceiverOptions options;
    int exitCode = -1;
    ASSERT_TRUE(
        parses({"--play", "--fullscreen", "--latency-log", "/tmp/x.log"}, &options, &exitCode));
    EXPECT_TRUE(options.play);
    EXPECT_TRUE(options.fullscreen);
    EXPECT_EQ(options.latencyLogPath, "/tmp/x.log");

    ReceiverOptions plain;
    ASSERT_TRUE(parses({}, &plain, &exitCode));
    EXPECT_FALSE(plain.play);
    EXPECT_TRUE(plain.latencyLogPath.isEmpty());
}

TEST(ReceiverPlayOptions, WindowOptionsNeedPlay)
{
    for (const QStringList& arguments :
         {QStringList{"--fullscreen"}, QStringList{"--latency-log", "/tmp/x.log"}}) {
        ReceiverOptions options;
        int exitCode = -1;
        EXPECT_FALSE(parses(arguments, &options, &exitCode)) << qPrintable(arguments.join(' '));
        EXPECT_EQ(exitCode, kExitUsage);
    }
}

}  // namespace
}  // namespace vantor::receiver::test
