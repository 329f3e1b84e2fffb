// WASAPI under Wine with a private PulseAudio (with-pulseaudio.sh: the null
// sink "vantor_test", 48000 Hz stereo). Wine ignores the loopback flag, so the
// capture records PulseAudio's "Monitor of <sink>" capture endpoint, which
// hears what is rendered to the sink: a tone played through our own player
// must come back.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <ks.h>
#include <ksmedia.h>

#include <atomic>
#include <cmath>
#include <cstring>

#include "libcapture/desktopsharing/audiodevices/wasapi/wasapicapture.h"
#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiformat.h"
#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiplayer.h"
#include "tests/audiodevices/audiotestsupport.h"
#include "tests/windows/screentestsupport.h"

namespace {

// The capture endpoint that records the default sink.
std::wstring sinkMonitorName()
{
    for (const std::wstring& name : audioEndpointNames(eCapture))
        if (name.rfind(L"Monitor of ", 0) == 0) return name;
    return {};
}

// Counts the player's requests for data, and plays a tone when asked.
struct Fill {
    std::atomic<uint64_t> calls{0};
    std::atomic<uint64_t> frames{0};
    std::atomic<bool> dirtyBuffer{false};
    double toneHz = 0;
    double phase = 0;

    AudioCallback callback()
    {
        return [this](const AudioFormat* format, uint8_t* data, uint32_t count) {
            const size_t bytes = static_cast<size_t>(count) * format->blockAlign;
            for (size_t i = 0; i < bytes; ++i)
                if (data[i] != 0) dirtyBuffer = true;
            if (toneHz > 0)
                writeTone(reinterpret_cast<int16_t*>(data), count, format->channels,
                          format->sampleRate, toneHz, 0.5, &phase);
            frames += count;
            ++calls;
        };
    }
};

TEST(WasapiFormat, TheEnginesFloatMixBecomes16BitPcm)
{
    WAVEFORMATEXTENSIBLE mix{};
    mix.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    mix.Format.nChannels = 2;
    mix.Format.nSamplesPerSec = 48000;
    mix.Format.wBitsPerSample = 32;
    mix.Format.nBlockAlign = 8;
    mix.Format.nAvgBytesPerSec = 384000;
    mix.Format.cbSize = 22;
    mix.Samples.wValidBitsPerSample = 32;
    mix.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    mix.SubFormat = KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
    rewriteMixFormatTo16Bit(&mix.Format);
    EXPECT_EQ(mix.Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_TRUE(IsEqualGUID(mix.SubFormat, KSDATAFORMAT_SUBTYPE_PCM));
    EXPECT_EQ(mix.Samples.wValidBitsPerSample, 16);
    EXPECT_EQ(mix.Format.wBitsPerSample, 16);
    EXPECT_EQ(mix.Format.nChannels, 2);
    EXPECT_EQ(mix.Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(mix.Format.nBlockAlign, 4);
    EXPECT_EQ(mix.Format.nAvgBytesPerSec, 192000u);
    EXPECT_EQ(mix.dwChannelMask, static_cast<DWORD>(SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT));

    const AudioFormat format = audioFormatOf(mix.Format);
    EXPECT_EQ(format.channels, 2);
    EXPECT_EQ(format.sampleRate, 48000);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.blockAlign, 4);

    WAVEFORMATEX plainFloat{WAVE_FORMAT_IEEE_FLOAT, 6, 44100, 44100 * 24, 24, 32, 0};
    rewriteMixFormatTo16Bit(&plainFloat);
    EXPECT_EQ(plainFloat.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(plainFloat.wBitsPerSample, 16);
    EXPECT_EQ(plainFloat.nBlockAlign, 12);
    EXPECT_EQ(plainFloat.nAvgBytesPerSec, 44100u * 12);

    // Any other tag is the engine's choice and stays.
    WAVEFORMATEX pcm24{WAVE_FORMAT_PCM, 2, 48000, 48000 * 6, 6, 24, 0};
    rewriteMixFormatTo16Bit(&pcm24);
    EXPECT_EQ(pcm24.wBitsPerSample, 24);
    EXPECT_EQ(pcm24.nBlockAlign, 6);
}

TEST(WasapiDevices, StartBeforeInitFailsWithoutAMessage)
{
    WASAPICapture capture;
    WASAPIPlayer player;
    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.start(), -1);
    EXPECT_EQ(capture.stop(), 0);
    EXPECT_EQ(player.start(nullptr), -1);
    EXPECT_EQ(player.stop(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(WasapiCapture, TheSinksMonitorEndpointReturnsTheToneRenderedThroughWasapi)
{
    const std::wstring monitor = sinkMonitorName();
    ASSERT_FALSE(monitor.empty()) << "no \"Monitor of\" capture endpoint";

    WASAPIPlayer player;
    ASSERT_EQ(player.init(), 0);
    EXPECT_EQ(player.init(), 0);
    Fill tone;
    tone.toneHz = 1000;
    ASSERT_EQ(player.start(tone.callback()), 0);

    WASAPICapture capture(AudioEndpoint{monitor});
    ASSERT_EQ(capture.init(), 0);
    EXPECT_EQ(capture.init(), 0);
    // The engine's float mix, asked for as 16-bit PCM at its rate and channels.
    const AudioFormat* format = capture.mixFormat();
    EXPECT_EQ(format->bitsPerSample, 16);
    EXPECT_EQ(format->channels, 2);
    EXPECT_EQ(format->sampleRate, 48000);
    EXPECT_EQ(format->blockAlign, 4);
    EXPECT_EQ(capture.waveFormat()->wBitsPerSample, 16);

    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_EQ(capture.start(), 0);
    EXPECT_EQ(capture.start(), 0);  // one thread only
    // Half a second of sound: Wine's first packet comes 1.5 s after start.
    ASSERT_TRUE(recorder.waitForSound(24000, std::chrono::seconds(20)));
    EXPECT_EQ(capture.stop(), 0);
    EXPECT_EQ(player.stop(), 0);

    EXPECT_GT(recorder.packets(), 0u);
    const AudioFormat seen = recorder.lastFormat();
    EXPECT_EQ(seen.blockAlign, 4);
    std::vector<int16_t> samples = recorder.soundSamples();
    samples.resize(24000);
    EXPECT_NEAR(dominantFrequency(samples, 48000, 200, 4000, 10), 1000, 20);
    int peak = 0;
    for (int16_t sample : samples) peak = std::max(peak, std::abs(static_cast<int>(sample)));
    EXPECT_GT(peak, 32767 / 4);  // played at half scale, back at about that level
}

TEST(WasapiCapture, NoCallbackDrainsThePacketsAndAReplacedOneTakesOver)
{
    WASAPIPlayer player;
    ASSERT_EQ(player.init(), 0);
    Fill tone;
    tone.toneHz = 1000;
    ASSERT_EQ(player.start(tone.callback()), 0);
    WASAPICapture capture(AudioEndpoint{sinkMonitorName()});
    ASSERT_EQ(capture.init(), 0);
    ASSERT_EQ(capture.start(), 0);  // no callback yet: packets are taken and dropped
    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    EXPECT_TRUE(recorder.waitForFrames(4800, std::chrono::seconds(20)));
    capture.setCallback(nullptr);
    const uint64_t frames = recorder.frames();
    CaptureRecorder second;
    capture.setCallback(second.callback());
    EXPECT_TRUE(second.waitForFrames(4800, std::chrono::seconds(20)));
    EXPECT_EQ(recorder.frames(), frames);
    EXPECT_EQ(capture.stop(), 0);
    EXPECT_EQ(player.stop(), 0);
}

TEST(WasapiCapture, WinesLoopbackClientHasNoCaptureService)
{
    // The product's own choice, the default render endpoint in loopback:
    // Wine initialises it but refuses the capture client (on Windows this
    // records what the speakers play).
    WASAPICapture capture;
    testing::internal::CaptureStdout();
    EXPECT_EQ(capture.init(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[WASAPICapture] Failed to get service.\n");
    EXPECT_EQ(capture.start(), -1);
}

TEST(WasapiPlayer, StartsStopsAndStartsAgain)
{
    WASAPIPlayer player;
    ASSERT_EQ(player.init(), 0);
    EXPECT_EQ(player.format()->bitsPerSample, 16);
    EXPECT_EQ(player.format()->blockAlign, 4);
    EXPECT_GT(player.bufferFrames(), 0u);

    Fill silence;
    ASSERT_EQ(player.start(silence.callback()), 0);
    ASSERT_TRUE(waitUntil([&] { return silence.calls > 0; }));
    // A second start keeps the first callback.
    Fill other;
    EXPECT_EQ(player.start(other.callback()), 0);
    const uint64_t before = silence.calls;
    ASSERT_TRUE(waitUntil([&] { return silence.calls > before; }));
    EXPECT_EQ(other.calls, 0u);

    // Stopped: the render thread is gone, nothing calls any more.
    EXPECT_EQ(player.stop(), 0);
    const uint64_t stopped = silence.calls;
    EXPECT_EQ(player.stop(), 0);
    EXPECT_EQ(silence.calls, stopped);

    // Started again: the new callback fills the buffer.
    Fill again;
    ASSERT_EQ(player.start(again.callback()), 0);
    EXPECT_TRUE(waitUntil([&] { return again.calls > 0; }));
    EXPECT_EQ(player.stop(), 0);
    EXPECT_EQ(silence.calls, stopped);
    EXPECT_FALSE(silence.dirtyBuffer);  // every buffer came zeroed
    EXPECT_FALSE(again.dirtyBuffer);
    // The first fill: the whole one-second buffer.
    EXPECT_GE(silence.frames, player.bufferFrames());
}

TEST(WasapiPlayer, SilenceReachesTheSinkAsZeros)
{
    WASAPIPlayer player;
    ASSERT_EQ(player.init(), 0);
    ASSERT_EQ(player.start(nullptr), 0);  // no callback: silence
    WASAPICapture capture(AudioEndpoint{sinkMonitorName()});
    ASSERT_EQ(capture.init(), 0);
    CaptureRecorder recorder;
    capture.setCallback(recorder.callback());
    ASSERT_EQ(capture.start(), 0);
    EXPECT_TRUE(recorder.waitForFrames(9600, std::chrono::seconds(20)));
    EXPECT_EQ(capture.stop(), 0);
    EXPECT_EQ(player.stop(), 0);
    EXPECT_GT(recorder.packets(), 0u);
    EXPECT_FALSE(recorder.sawNonZeroSample());
}

}  // namespace
