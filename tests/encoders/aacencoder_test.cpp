// AACEncoder and the ADTS header against FFmpeg's native AAC encoder, checked with
// libavcodec's AAC decoder.
#include "libcapture/desktopsharing/aacencoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/encoders/testdecoder.h"

namespace {

constexpr int kChannels = 2;
constexpr int kSampleRate = 48000;
constexpr int kBitRate = 64000;
constexpr int kFrameSize = 1024;

struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// Interleaved S16 stereo sine, continuing from sample `start`.
std::vector<int16_t> tone(double frequency, int start, int samples)
{
    std::vector<int16_t> pcm(static_cast<size_t>(samples) * kChannels);
    for (int i = 0; i < samples; ++i) {
        const double t = static_cast<double>(start + i) / kSampleRate;
        const auto value = static_cast<int16_t>(16000 * std::sin(2 * M_PI * frequency * t));
        pcm[i * kChannels] = value;
        pcm[i * kChannels + 1] = value;
    }
    return pcm;
}

const uint8_t* bytes(const std::vector<int16_t>& pcm)
{
    return reinterpret_cast<const uint8_t*>(pcm.data());
}

// Signal power at one frequency (Goertzel).
double powerAt(const std::vector<float>& samples, double frequency)
{
    const double coefficient = 2 * std::cos(2 * M_PI * frequency / kSampleRate);
    double previous = 0, beforePrevious = 0;
    for (float sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious -
           coefficient * previous * beforePrevious;
}

class AACEncoderTest : public ::testing::Test {
protected:
    void TearDown() override { encoder.destroy(); }

    // Presentation times of the packets that `blocks` tone blocks produce.
    std::vector<int64_t> encodeTone(int blocks)
    {
        std::vector<int64_t> times;
        for (int block = 0; block < blocks; ++block) {
            const auto pcm = tone(1000, block * kFrameSize, kFrameSize);
            PacketPtr packet(encoder.encodeAudio(bytes(pcm), kFrameSize));
            if (packet) {
                times.push_back(packet->pts);
            }
        }
        return times;
    }

    AACEncoder& encoder = AACEncoder::instance();
};

TEST(AdtsHeaderTest, StereoAt48kFramesA300BytePayload)
{
    vantor::AdtsHeader header{};
    ASSERT_TRUE(vantor::buildAdtsHeader(header, 300, 48000, 2));
    const vantor::AdtsHeader expected{0xFF, 0xF1, 0x4C, 0x80, 0x26, 0x7F, 0xFC};
    EXPECT_EQ(header, expected);

    ASSERT_TRUE(vantor::buildAdtsHeader(header, 100, 44100, 1));
    EXPECT_EQ(header[2], 0x40 | (4 << 2));
    EXPECT_EQ(header[3] >> 6, 1);
    EXPECT_EQ(((header[3] & 3) << 11) | (header[4] << 3) | (header[5] >> 5), 107);
}

TEST(AdtsHeaderTest, RefusesFieldsThatDoNotFit)
{
    vantor::AdtsHeader header{};
    EXPECT_FALSE(vantor::buildAdtsHeader(header, 300, 47000, 2));
    EXPECT_FALSE(vantor::buildAdtsHeader(header, 300, 48000, 0));
    EXPECT_FALSE(vantor::buildAdtsHeader(header, 300, 48000, 7));
    EXPECT_FALSE(vantor::buildAdtsHeader(header, 300, 48000, 8));
    EXPECT_FALSE(vantor::buildAdtsHeader(header, -1, 48000, 2));
    EXPECT_TRUE(vantor::buildAdtsHeader(header, vantor::kAdtsMaxFrameLength - 7, 48000, 2));
    EXPECT_FALSE(vantor::buildAdtsHeader(header, vantor::kAdtsMaxFrameLength - 6, 48000, 2));
    EXPECT_EQ(vantor::adtsFrequencyIndex(96000), 0);
    EXPECT_EQ(vantor::adtsFrequencyIndex(7350), 12);
    EXPECT_EQ(vantor::adtsChannelConfiguration(6), 6);
}

TEST_F(AACEncoderTest, FrameSizeIsKnownOnlyWhileInitialised)
{
    encoder.destroy();
    EXPECT_EQ(encoder.frameSize(), 0);
    ASSERT_TRUE(encoder.init(kChannels, kSampleRate, kBitRate));
    EXPECT_EQ(encoder.frameSize(), kFrameSize);
    encoder.destroy();
    EXPECT_EQ(encoder.frameSize(), 0);
    encoder.destroy();  // twice is harmless
    const auto pcm = tone(1000, 0, kFrameSize);
    EXPECT_EQ(encoder.encodeAudio(bytes(pcm), kFrameSize), nullptr);
    EXPECT_EQ(encoder.encodeAudio(bytes(pcm), 0), nullptr);
}

TEST_F(AACEncoderTest, RefusesFormatsAnAdtsHeaderCannotDescribe)
{
    EXPECT_FALSE(encoder.init(kChannels, 47000, kBitRate));
    EXPECT_EQ(encoder.frameSize(), 0);
    EXPECT_FALSE(encoder.init(7, kSampleRate, kBitRate));
    EXPECT_FALSE(encoder.init(0, kSampleRate, kBitRate));
    EXPECT_EQ(encoder.frameSize(), 0);
    EXPECT_TRUE(encoder.init(1, 44100, kBitRate));
}

TEST_F(AACEncoderTest, WrongBlockLengthsAreRefusedAndChangeNothing)
{
    ASSERT_TRUE(encoder.init(kChannels, kSampleRate, kBitRate));
    const std::vector<int64_t> reference = encodeTone(4);
    ASSERT_EQ(reference.size(), 3u) << "the encoder holds the first block back";
    for (size_t i = 1; i < reference.size(); ++i) {
        EXPECT_EQ(reference[i] - reference[i - 1], kFrameSize);
    }

    ASSERT_TRUE(encoder.init(kChannels, kSampleRate, kBitRate));
    const auto shorter = tone(1000, 0, kFrameSize - 1);
    const auto longer = tone(1000, 0, kFrameSize + 1);
    EXPECT_EQ(encoder.encodeAudio(bytes(shorter), kFrameSize - 1), nullptr);
    EXPECT_EQ(encoder.encodeAudio(bytes(longer), kFrameSize + 1), nullptr);
    EXPECT_EQ(encodeTone(4), reference);
}

TEST_F(AACEncoderTest, ToneSurvivesEncodingAndDecoding)
{
    ASSERT_TRUE(encoder.init(kChannels, kSampleRate, kBitRate));
    TestDecoder decoder(AV_CODEC_ID_AAC);
    ASSERT_TRUE(decoder.isOpen());
    constexpr int kBlocks = 50;
    int packets = 0;
    for (int block = 0; block < kBlocks; ++block) {
        const auto pcm = tone(1000, block * kFrameSize, kFrameSize);
        PacketPtr packet(encoder.encodeAudio(bytes(pcm), kFrameSize));
        if (!packet) {
            continue;
        }
        ++packets;
        // Every packet is one ADTS frame whose length field covers header and payload.
        ASSERT_GT(packet->size, 7);
        EXPECT_EQ(packet->data[0], 0xFF);
        EXPECT_EQ(packet->data[1], 0xF1);
        EXPECT_EQ(packet->data[2], 0x4C);
        const int length =
            ((packet->data[3] & 3) << 11) | (packet->data[4] << 3) | (packet->data[5] >> 5);
        EXPECT_EQ(length, packet->size);
        ASSERT_TRUE(decoder.decode(packet->data, packet->size));
    }
    EXPECT_GE(packets, kBlocks - 2);
    decoder.flush();
    ASSERT_FALSE(decoder.frames.empty());

    std::vector<float> left, right;
    for (const FramePtr& frame : decoder.frames) {
        ASSERT_EQ(frame->format, AV_SAMPLE_FMT_FLTP);
        ASSERT_EQ(frame->ch_layout.nb_channels, kChannels);
        EXPECT_EQ(frame->sample_rate, kSampleRate);
        const auto* l = reinterpret_cast<const float*>(frame->data[0]);
        const auto* r = reinterpret_cast<const float*>(frame->data[1]);
        left.insert(left.end(), l, l + frame->nb_samples);
        right.insert(right.end(), r, r + frame->nb_samples);
    }
    // Skip the encoder's priming samples.
    left.erase(left.begin(), left.begin() + 2 * kFrameSize);
    right.erase(right.begin(), right.begin() + 2 * kFrameSize);
    for (const auto* channel : {&left, &right}) {
        const double wanted = powerAt(*channel, 1000);
        for (double other : {250.0, 500.0, 2000.0, 3000.0, 5000.0}) {
            EXPECT_GT(wanted, 100 * powerAt(*channel, other)) << other << " Hz";
        }
    }
}

}  // namespace
