// Runs under with-pulseaudio.sh: a private daemon whose default sink is the
// null sink "vantor_test" (s16le, 48000 Hz, stereo).
#include "libcapture/desktopsharing/audiodevices/pulse/pulseloopbackcapture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "tests/audiodevices/audiotestsupport.h"

namespace {

int recordStreams()
{
    return countLinesContaining(runCommand("pactl list source-outputs"),
                                "application.name = \"Vantor loopback capture\"");
}

// Puts the daemon's sinks back as with-pulseaudio.sh made them, so that the
// cases also pass when they share one daemon.
struct TestSinkRestorer {
    ~TestSinkRestorer()
    {
        runCommand(
            "pactl list short sinks | grep -q vantor_test || pactl load-module module-null-sink "
            "sink_name=vantor_test format=s16le rate=48000 channels=2; "
            "pactl list short modules | grep -q module-always-sink || "
            "pactl load-module module-always-sink; pactl set-default-sink vantor_test");
    }
};

// Lets `frames` frames of the sink go by on the sound server's own clock, as a
// second capture of it sees them: a capture still running beside it would have
// been delivered as much.
bool serverTimeGoesBy(uint64_t frames)
{
    PulseLoopbackCapture witness;
    if (witness.init() != 0) return false;
    CaptureRecorder witnessed;
    witness.setCallback(witnessed.callback());
    if (witness.start() != 0) return false;
    const bool seen = witnessed.waitForFrames(frames);
    witness.stop();
    return seen;
}

}  // namespace

TEST(PulseLoopbackCapture, ReportsSixteenBitAtTheSinksRateAndChannelsAndInitsOnce)
{
    TestSinkRestorer restorer;
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    const AudioFormat* format = capture.mixFormat();
    EXPECT_EQ(format->channels, 2);
    EXPECT_EQ(format->sampleRate, 48000);
    EXPECT_EQ(format->bitsPerSample, 16);
    EXPECT_EQ(format->blockAlign, 4);

    // A later default sink does not matter: init runs once.
    ASSERT_FALSE(runCommand("pactl load-module module-null-sink sink_name=other rate=22050 "
                            "channels=1 && pactl set-default-sink other")
                     .empty());
    EXPECT_EQ(capture.init(), 0);
    EXPECT_EQ(capture.mixFormat(), format);
    EXPECT_EQ(format->sampleRate, 48000);
}

TEST(PulseLoopbackCapture, StartBeforeInitFailsWithoutMessageAndStopWhenIdleIsFine)
{
    PulseLoopbackCapture capture;
    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.start(), -1);
    EXPECT_EQ(capture.stop(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(capture.init(), 0);
    EXPECT_EQ(capture.stop(), 0);
}

TEST(PulseLoopbackCapture, CapturesAToneThatIsPlayedIntoTheSink)
{
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_EQ(capture.start(), 0);

    ASSERT_TRUE(playToneWithPacat("vantor_test", "s16le", 48000, 2, 1000, 1.0));
    ASSERT_TRUE(recorder.waitForSound(24000));
    EXPECT_EQ(capture.stop(), 0);

    std::vector<int16_t> sound = recorder.soundSamples();
    // Skip the fade-in edge; analyse a quarter second of steady tone.
    std::vector<int16_t> window(sound.begin() + 4800, sound.begin() + 16800);
    EXPECT_NEAR(dominantFrequency(window, 48000, 100, 5000, 2), 1000, 10);
    const AudioFormat format = recorder.lastFormat();
    EXPECT_EQ(format.blockAlign, 4);
    EXPECT_EQ(format.sampleRate, 48000);
    EXPECT_GT(recorder.packets(), 0u);
}

TEST(PulseLoopbackCapture, QuietSinkDeliversZeroPacketsAndNothingWithoutCallback)
{
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    ASSERT_EQ(capture.start(), 0);        // no callback yet: packets are read and dropped
    ASSERT_TRUE(serverTimeGoesBy(4800));  // 100 ms
    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_TRUE(recorder.waitForFrames(9600));  // 200 ms
    EXPECT_EQ(capture.stop(), 0);
    EXPECT_FALSE(recorder.sawNonZeroSample());
    EXPECT_GT(recorder.packets(), 0u);
}

TEST(PulseLoopbackCapture, StartTwiceOpensOneStreamAndStopStartResumes)
{
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_EQ(capture.start(), 0);
    EXPECT_EQ(capture.start(), 0);
    EXPECT_EQ(recordStreams(), 1);
    ASSERT_TRUE(recorder.waitForFrames(4800));

    EXPECT_EQ(capture.stop(), 0);
    EXPECT_EQ(recordStreams(), 0);
    // Nothing is delivered once stop has returned, while 200 ms of the sink go by.
    const uint64_t framesAtStop = recorder.frames();
    ASSERT_TRUE(serverTimeGoesBy(9600));
    EXPECT_EQ(recorder.frames(), framesAtStop);
    EXPECT_EQ(capture.stop(), 0);

    ASSERT_EQ(capture.start(), 0);
    EXPECT_EQ(recordStreams(), 1);
    EXPECT_TRUE(recorder.waitForFrames(framesAtStop + 4800));
    EXPECT_EQ(capture.stop(), 0);
}

TEST(PulseLoopbackCapture, ReplacedCallbackTakesOverWhileRunning)
{
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    CaptureRecorder first, second;
    capture.setCallback(first.callback());
    ASSERT_EQ(capture.start(), 0);
    ASSERT_TRUE(first.waitForFrames(960));
    capture.setCallback(second.callback());
    const uint64_t firstFrames = first.frames();
    ASSERT_TRUE(second.waitForFrames(4800));
    EXPECT_EQ(first.frames(), firstFrames);
    capture.setCallback(nullptr);
    EXPECT_EQ(capture.stop(), 0);
}

TEST(PulseLoopbackCapture, FloatSinkStillYieldsSixteenBitPacketsAtItsRateAndChannels)
{
    TestSinkRestorer restorer;
    ASSERT_FALSE(runCommand("pactl load-module module-null-sink sink_name=vantor_float "
                            "format=float32le rate=44100 channels=1 && "
                            "pactl set-default-sink vantor_float")
                     .empty());
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    EXPECT_EQ(capture.mixFormat()->channels, 1);
    EXPECT_EQ(capture.mixFormat()->sampleRate, 44100);
    EXPECT_EQ(capture.mixFormat()->bitsPerSample, 16);
    EXPECT_EQ(capture.mixFormat()->blockAlign, 2);

    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_EQ(capture.start(), 0);
    ASSERT_TRUE(playToneWithPacat("vantor_float", "float32le", 44100, 1, 1000, 1.0));
    ASSERT_TRUE(recorder.waitForSound(22050));
    EXPECT_EQ(capture.stop(), 0);

    const AudioFormat format = recorder.lastFormat();
    EXPECT_EQ(format.channels, 1);
    EXPECT_EQ(format.sampleRate, 44100);
    EXPECT_EQ(format.blockAlign, 2);
    std::vector<int16_t> sound = recorder.soundSamples();
    std::vector<int16_t> window(sound.begin() + 4410, sound.begin() + 15435);
    EXPECT_NEAR(dominantFrequency(window, 44100, 100, 5000, 2), 1000, 10);
}

TEST(PulseLoopbackCapture, NoOutputDeviceFailsInitWithMessage)
{
    TestSinkRestorer restorer;
    // The fallback sink first, or the server would put one back at once.
    ASSERT_FALSE(runCommand("pactl unload-module module-always-sink && "
                            "pactl unload-module module-null-sink && echo done")
                     .empty());
    PulseLoopbackCapture capture;
    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.init(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[PulseLoopbackCapture] Failed to get default sink.\n");
    EXPECT_EQ(capture.start(), -1);
}

TEST(PulseLoopbackCapture, FollowsARestartedServerAfterStopAndStart)
{
    const char* dir = std::getenv("VANTOR_PULSE_DIR");
    ASSERT_NE(dir, nullptr) << "run under with-pulseaudio.sh";
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_EQ(capture.start(), 0);
    ASSERT_TRUE(recorder.waitForFrames(960));

    runCommand("pactl exit");
    const std::string socket = std::string(dir) + "/native";
    for (int i = 0; i < 500 && access(socket.c_str(), F_OK) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(access(socket.c_str(), F_OK), 0);
    capture.stop();  // the stream is gone with the server; only must not hang

    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.start(), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(
                  "[PulseLoopbackCapture] Failed to connect to the sound server.\n"),
              std::string::npos);

    ASSERT_EQ(std::system((std::string(START_PULSEAUDIO) + " " + dir).c_str()), 0);
    recorder.clear();
    ASSERT_EQ(capture.start(), 0);
    EXPECT_EQ(capture.mixFormat()->sampleRate, 48000);
    EXPECT_TRUE(recorder.waitForFrames(960));
    EXPECT_EQ(capture.stop(), 0);
}
