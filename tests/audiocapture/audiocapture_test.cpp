// The audio capture's life cycle over real (synthetic) devices, and the rate fix
// that keeps the AAC stream playable.
#include "libcapture/desktopsharing/audiocapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "libcapture/desktopsharing/testsources/nullaudiorenderer.h"
#include "libcapture/desktopsharing/testsources/testtonecapture.h"

namespace {

std::vector<int16_t> tone(int rate, int frames, double frequency = 1000.0)
{
    std::vector<int16_t> samples(frames * 2);
    for (int i = 0; i < frames; ++i) {
        int16_t v = static_cast<int16_t>(8000 * std::sin(6.283185307179586 * frequency * i / rate));
        samples[2 * i] = samples[2 * i + 1] = v;
    }
    return samples;
}

// Sign changes of the left channel from negative to non-negative: one per period.
int risingCrossings(const std::vector<int16_t>& interleaved)
{
    int count = 0;
    for (size_t i = 2; i < interleaved.size(); i += 2)
        if (interleaved[i - 2] < 0 && interleaved[i] >= 0) ++count;
    return count;
}

bool waitForFrames(AudioCapture& capture, int frames)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (capture.availableFrames() < frames) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Feeds one second of a 1 kHz tone at `rate` in 10 ms deliveries.
std::vector<int16_t> feedOneSecond(AudioCapture& capture, int rate)
{
    AudioFormat format{2, rate, 16, 4};
    std::vector<int16_t> samples = tone(rate, rate);
    const int chunk = rate / 100;
    for (int offset = 0; offset + chunk <= rate; offset += chunk)
        capture.write(&format, reinterpret_cast<const uint8_t*>(samples.data() + offset * 2),
                      chunk);
    int frames = capture.availableFrames();
    std::vector<int16_t> out(frames * 2);
    EXPECT_EQ(capture.read(reinterpret_cast<uint8_t*>(out.data()), frames), frames);
    return out;
}

}  // namespace

TEST(AudioCapture, LifecycleBeforeInit)
{
    AudioCapture capture;
    EXPECT_EQ(capture.stop(), -1);
    EXPECT_EQ(capture.exit(), 0);
    EXPECT_EQ(capture.start(), -1);
    EXPECT_EQ(capture.getChannels(), 0);
    EXPECT_EQ(capture.getSampleRate(), 0);
    EXPECT_EQ(capture.availableFrames(), 0);
    uint8_t byte = 0;
    EXPECT_EQ(capture.read(&byte, 1), 0);
}

TEST(AudioCapture, SecondInitKeepsTheFirstBufferAnotherKindReplacesIt)
{
    AudioCapture capture;
    ASSERT_EQ(capture.init(20480, AudioSourceKind::TestTone), 0);
    auto first = capture.buffer();
    EXPECT_EQ(capture.getChannels(), 2);
    EXPECT_EQ(capture.getSampleRate(), 48000);
    EXPECT_EQ(capture.getBitsPerSample(), 16);

    ASSERT_EQ(capture.init(4096, AudioSourceKind::TestTone), 0);
    EXPECT_EQ(capture.buffer(), first);
    EXPECT_EQ(capture.buffer()->capacity(), 20480);

    // No devices for "no audio": the working set stays.
    EXPECT_EQ(capture.init(4096, AudioSourceKind::None), -1);
    EXPECT_EQ(capture.buffer(), first);
    EXPECT_TRUE(capture.isInitialized());

    // Devices of another kind (a 44.1 kHz stand-in counted as the system's).
    ASSERT_EQ(
        capture.initWithDevices(8192, std::make_unique<TestToneCapture>(44100),
                                std::make_unique<NullAudioRenderer>(), AudioSourceKind::System),
        0);
    EXPECT_EQ(capture.getSampleRate(), 44100);
    ASSERT_EQ(capture.init(4096, AudioSourceKind::TestTone), 0);
    EXPECT_NE(capture.buffer(), first);
    EXPECT_EQ(capture.buffer()->capacity(), 4096);
    EXPECT_EQ(capture.getSampleRate(), 48000);
}

TEST(AudioCapture, StartDeliversTheToneStopHaltsItStartEmptiesTheBuffer)
{
    AudioCapture capture;
    auto device = std::make_unique<TestToneCapture>();
    TestToneCapture* tone = device.get();
    ASSERT_EQ(
        capture.initWithDevices(20480, std::move(device), std::make_unique<NullAudioRenderer>(),
                                AudioSourceKind::TestTone),
        0);
    ASSERT_EQ(capture.start(), 0);
    EXPECT_TRUE(tone->isDelivering());
    EXPECT_TRUE(capture.isStarted());
    EXPECT_EQ(capture.start(), 0);
    ASSERT_TRUE(waitForFrames(capture, 1024));
    std::vector<int16_t> block(2048);
    ASSERT_EQ(capture.read(reinterpret_cast<uint8_t*>(block.data()), 1024), 1024);
    // 1024 frames at 48 kHz hold 21.3 periods of 1 kHz.
    EXPECT_NEAR(risingCrossings(block), 21, 1);
    for (size_t i = 0; i < block.size(); i += 2) ASSERT_EQ(block[i], block[i + 1]);

    EXPECT_EQ(capture.stop(), 0);
    EXPECT_FALSE(capture.isStarted());
    // The device's thread, the only writer, has ended: nothing more can come.
    EXPECT_FALSE(tone->isDelivering()) << "a stopped device delivers nothing";
    int frames = capture.availableFrames();

    // The device delivers 480-frame packets and 1024 were read: 416 are left
    // over. After a restart only whole new packets may be buffered.
    ASSERT_EQ(frames % 480, 416);
    ASSERT_EQ(capture.start(), 0);
    EXPECT_EQ(capture.availableFrames() % 480, 0) << "start empties the buffer";
    EXPECT_EQ(capture.exit(), 0);
    EXPECT_FALSE(capture.isStarted());
    EXPECT_TRUE(capture.isInitialized());
}

TEST(AudioCapture, StreamableRatesPassThroughUnchanged)
{
    AudioCapture capture;
    ASSERT_EQ(
        capture.initWithDevices(20480, std::make_unique<TestToneCapture>(44100),
                                std::make_unique<NullAudioRenderer>(), AudioSourceKind::TestTone),
        0);
    EXPECT_EQ(capture.getSampleRate(), 44100);
    AudioFormat format{2, 44100, 16, 4};
    std::vector<int16_t> samples = tone(44100, 441);
    capture.write(&format, reinterpret_cast<const uint8_t*>(samples.data()), 441);
    EXPECT_EQ(capture.getSampleRate(), 44100);
    std::vector<int16_t> out(882);
    ASSERT_EQ(capture.read(reinterpret_cast<uint8_t*>(out.data()), 441), 441);
    EXPECT_EQ(out, samples);

    for (int rate :
         {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350})
        EXPECT_TRUE(AudioCapture::isStreamableRate(rate)) << rate;
    for (int rate : {0, 47000, 192000, 176400, 6000, 44000})
        EXPECT_FALSE(AudioCapture::isStreamableRate(rate)) << rate;
}

TEST(AudioCapture, UnstreamableRateIsResampledTo48000)
{
    AudioCapture capture;
    ASSERT_EQ(
        capture.initWithDevices(400000, std::make_unique<TestToneCapture>(47000),
                                std::make_unique<NullAudioRenderer>(), AudioSourceKind::TestTone),
        0);
    EXPECT_EQ(capture.getSampleRate(), 48000) << "the stream must report a rate AAC can carry";
    std::vector<int16_t> out = feedOneSecond(capture, 47000);
    EXPECT_EQ(capture.getSampleRate(), 48000);
    // One second in is one second out, less the resampler's short delay.
    EXPECT_GE(out.size() / 2, 47800u);
    EXPECT_LE(out.size() / 2, 48000u);
    // Still 1 kHz when played at 48 kHz (unconverted it would read as 1021 Hz).
    int periods = risingCrossings(out);
    EXPECT_GE(periods, 993);
    EXPECT_LE(periods, 1000);
}

TEST(AudioCapture, UnstreamableDeviceRateThroughTheDeviceThread)
{
    AudioCapture capture;
    ASSERT_EQ(
        capture.initWithDevices(20480, std::make_unique<TestToneCapture>(47000),
                                std::make_unique<NullAudioRenderer>(), AudioSourceKind::TestTone),
        0);
    ASSERT_EQ(capture.start(), 0);
    ASSERT_TRUE(waitForFrames(capture, 2048));
    capture.stop();
    std::vector<int16_t> block(4096);
    ASSERT_EQ(capture.read(reinterpret_cast<uint8_t*>(block.data()), 2048), 2048);
    EXPECT_EQ(capture.getSampleRate(), 48000);
    // 2048 frames at 48 kHz: 42.7 periods of 1 kHz.
    EXPECT_NEAR(risingCrossings(block), 42, 1);
}
