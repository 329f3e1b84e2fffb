// Runs under with-pulseaudio.sh: a private daemon whose default sink is the
// null sink "vantor_test" (s16le, 48000 Hz, stereo).
#include "libcapture/desktopsharing/audiodevices/pulse/pulsesilenceplayer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "libcapture/desktopsharing/audiodevices/pulse/pulseloopbackcapture.h"
#include "tests/audiodevices/audiotestsupport.h"

namespace {

int playbackStreams()
{
    return countLinesContaining(runCommand("pactl list sink-inputs"),
                                "application.name = \"Vantor silence player\"");
}

// What the audio capture hands the player: zero the buffer again.
struct SilenceFill {
    std::atomic<uint64_t> calls{0};
    std::atomic<uint64_t> frames{0};
    std::atomic<bool> dirtyBuffer{false};
    std::atomic<bool> wrongFormat{false};

    AudioCallback callback()
    {
        return [this](const AudioFormat* format, uint8_t* data, uint32_t count) {
            const size_t bytes = static_cast<size_t>(count) * format->blockAlign;
            for (size_t i = 0; i < bytes; ++i)
                if (data[i] != 0) dirtyBuffer = true;
            if (format->bitsPerSample != 16 || format->blockAlign != 4 ||
                format->sampleRate != 48000 || count == 0)
                wrongFormat = true;
            std::memset(data, 0, bytes);
            frames += count;
            ++calls;
        };
    }
};

bool waitFor(const std::function<bool()>& condition)
{
    for (int i = 0; i < 1000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

}  // namespace

TEST(PulseSilencePlayer, StartBeforeInitFailsWithoutMessage)
{
    PulseSilencePlayer player;
    testing::internal::CaptureStdout();
    EXPECT_EQ(player.start(nullptr), -1);
    EXPECT_EQ(player.stop(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(playbackStreams(), 0);
}

TEST(PulseSilencePlayer, SilenceStreamRunsWhileCapturingAndPlaysZeros)
{
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_EQ(capture.start(), 0);

    PulseSilencePlayer player;
    ASSERT_EQ(player.init(), 0);
    EXPECT_EQ(player.init(), 0);
    EXPECT_EQ(player.format()->blockAlign, 4);
    SilenceFill fill;
    ASSERT_EQ(player.start(fill.callback()), 0);
    EXPECT_EQ(playbackStreams(), 1);

    ASSERT_TRUE(waitFor([&] { return fill.frames > 9600; }));
    recorder.clear();
    ASSERT_TRUE(recorder.waitForFrames(9600));
    EXPECT_FALSE(recorder.sawNonZeroSample());
    EXPECT_FALSE(fill.dirtyBuffer);
    EXPECT_FALSE(fill.wrongFormat);

    EXPECT_EQ(player.stop(), 0);
    EXPECT_EQ(playbackStreams(), 0);
    // Nothing is filled once stop has returned: the capture, on the server's
    // clock, gets 200 ms more of the sink meanwhile.
    const uint64_t callsAtStop = fill.calls;
    EXPECT_TRUE(recorder.waitForFrames(recorder.frames() + 9600));
    EXPECT_EQ(fill.calls, callsAtStop);
    EXPECT_EQ(capture.stop(), 0);
}

TEST(PulseSilencePlayer, PlaysWhatTheCallbackWrites)
{
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_EQ(capture.start(), 0);

    PulseSilencePlayer player;
    ASSERT_EQ(player.init(), 0);
    double phase = 0;
    ASSERT_EQ(player.start([&phase](const AudioFormat* format, uint8_t* data, uint32_t frames) {
        writeTone(reinterpret_cast<int16_t*>(data), frames, format->channels, format->sampleRate,
                  1000, 0.5, &phase);
    }),
              0);
    ASSERT_TRUE(recorder.waitForSound(24000));
    EXPECT_EQ(player.stop(), 0);
    EXPECT_EQ(capture.stop(), 0);

    std::vector<int16_t> sound = recorder.soundSamples();
    std::vector<int16_t> window(sound.begin() + 4800, sound.begin() + 16800);
    EXPECT_NEAR(dominantFrequency(window, 48000, 100, 5000, 2), 1000, 10);
}

TEST(PulseSilencePlayer, SecondStartKeepsTheFirstCallbackAndStopStartWorks)
{
    PulseSilencePlayer player;
    ASSERT_EQ(player.init(), 0);
    SilenceFill first, second;
    ASSERT_EQ(player.start(first.callback()), 0);
    EXPECT_EQ(player.start(second.callback()), 0);
    EXPECT_EQ(playbackStreams(), 1);
    ASSERT_TRUE(waitFor([&] { return first.frames > 4800; }));
    EXPECT_EQ(second.calls, 0u);
    EXPECT_EQ(player.stop(), 0);
    EXPECT_EQ(player.stop(), 0);

    ASSERT_EQ(player.start(second.callback()), 0);
    EXPECT_TRUE(waitFor([&] { return second.frames > 4800; }));
    EXPECT_EQ(player.stop(), 0);
}

TEST(PulseSilencePlayer, EmptyCallbackPlaysSilence)
{
    PulseLoopbackCapture capture;
    ASSERT_EQ(capture.init(), 0);
    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_EQ(capture.start(), 0);

    PulseSilencePlayer player;
    ASSERT_EQ(player.init(), 0);
    ASSERT_EQ(player.start(nullptr), 0);
    EXPECT_EQ(playbackStreams(), 1);
    // The stream really plays: the sink's input reports it is not corked and
    // the capture keeps running on zeros.
    ASSERT_TRUE(recorder.waitForFrames(9600));
    EXPECT_FALSE(recorder.sawNonZeroSample());
    EXPECT_EQ(countLinesContaining(runCommand("pactl list sink-inputs"), "Corked: no"), 1);
    EXPECT_EQ(player.stop(), 0);
    EXPECT_EQ(capture.stop(), 0);
}

TEST(PulseSilencePlayer, FollowsARestartedServerAfterStopAndStart)
{
    const char* dir = std::getenv("VANTOR_PULSE_DIR");
    ASSERT_NE(dir, nullptr) << "run under with-pulseaudio.sh";
    PulseSilencePlayer player;
    ASSERT_EQ(player.init(), 0);
    SilenceFill fill;
    ASSERT_EQ(player.start(fill.callback()), 0);
    ASSERT_TRUE(waitFor([&] { return fill.frames > 0; }));

    runCommand("pactl exit");
    const std::string socket = std::string(dir) + "/native";
    ASSERT_TRUE(waitFor([&] { return access(socket.c_str(), F_OK) != 0; }));
    player.stop();  // the stream is gone with the server; only must not hang

    testing::internal::CaptureStdout();
    EXPECT_EQ(player.start(fill.callback()), -1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(
                  "[PulseSilencePlayer] Failed to connect to the sound server.\n"),
              std::string::npos);

    ASSERT_EQ(std::system((std::string(START_PULSEAUDIO) + " " + dir).c_str()), 0);
    ASSERT_EQ(player.start(fill.callback()), 0);
    EXPECT_EQ(playbackStreams(), 1);
    const uint64_t framesBefore = fill.frames;
    EXPECT_TRUE(waitFor([&] { return fill.frames > framesBefore; }));
    EXPECT_EQ(player.stop(), 0);
}
