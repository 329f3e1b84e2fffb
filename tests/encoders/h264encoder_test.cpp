// H264Encoder against the real libx264, checked with libavcodec's H.264 decoder.
#include "libcapture/desktopsharing/h264encoder.h"

#include <gtest/gtest.h>
#include <libyuv.h>

#include <cstdlib>
#include <set>
#include <vector>

#include "tests/encoders/logcapture.h"
#include "tests/encoders/testdecoder.h"

namespace {

constexpr int kBitRate = 4000000;
constexpr int kFrameRate = 25;
constexpr int kGop = 25;

struct Bgra {
    uint8_t b, g, r;
};
constexpr Bgra kOrange{40, 150, 230};

std::vector<uint8_t> solidPicture(int width, int height, Bgra colour)
{
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < picture.size(); i += 4) {
        picture[i] = colour.b;
        picture[i + 1] = colour.g;
        picture[i + 2] = colour.r;
        picture[i + 3] = 0xFF;
    }
    return picture;
}

// NAL unit types of an Annex-B byte stream.
std::set<int> nalTypes(const AVPacket* packet)
{
    std::set<int> types;
    const uint8_t* data = packet->data;
    for (int i = 0; i + 3 < packet->size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            types.insert(data[i + 3] & 0x1F);
            i += 3;
        }
    }
    return types;
}

// Average colour of a decoded YUV 4:2:0 picture, turned back into BGRA by libyuv.
Bgra averageColour(const AVFrame* picture)
{
    std::vector<uint8_t> bgra(static_cast<size_t>(picture->width) * picture->height * 4);
    libyuv::I420ToARGB(picture->data[0], picture->linesize[0], picture->data[1],
                       picture->linesize[1], picture->data[2], picture->linesize[2], bgra.data(),
                       picture->width * 4, picture->width, picture->height);
    uint64_t sum[3] = {0, 0, 0};
    for (size_t i = 0; i < bgra.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            sum[c] += bgra[i + c];
        }
    }
    const uint64_t pixels = bgra.size() / 4;
    return Bgra{static_cast<uint8_t>(sum[0] / pixels), static_cast<uint8_t>(sum[1] / pixels),
                static_cast<uint8_t>(sum[2] / pixels)};
}

class H264EncoderTest : public ::testing::Test {
protected:
    void TearDown() override { encoder.destroy(); }

    // Encodes the picture `count` times, decodes every packet and checks that each
    // picture yields exactly one packet with the frame counter as its time.
    void encodeAndDecode(const std::vector<uint8_t>& picture, int width, int height, int count,
                         TestDecoder& decoder, int64_t firstPts)
    {
        for (int i = 0; i < count; ++i) {
            AVPacket* packet = encoder.encodeVideo(picture.data(), width, height, 0);
            ASSERT_NE(packet, nullptr) << "picture " << i;
            EXPECT_EQ(packet->pts, firstPts + i);
            ASSERT_TRUE(decoder.decode(packet->data, packet->size));
        }
    }

    void expectDecodedPictures(TestDecoder& decoder, int count, int width, int height, Bgra colour)
    {
        decoder.flush();
        ASSERT_EQ(static_cast<int>(decoder.frames.size()), count);
        const AVFrame* last = decoder.frames.back().get();
        EXPECT_EQ(last->width, width);
        EXPECT_EQ(last->height, height);
        ASSERT_EQ(last->format, AV_PIX_FMT_YUV420P);
        const Bgra decoded = averageColour(last);
        EXPECT_NEAR(decoded.b, colour.b, 8);
        EXPECT_NEAR(decoded.g, colour.g, 8);
        EXPECT_NEAR(decoded.r, colour.r, 8);
    }

    H264Encoder& encoder = H264Encoder::instance();
};

TEST_F(H264EncoderTest, SameSizeTakesTheDirectPathAndStartsWithAnIdrCarryingParameterSets)
{
    ASSERT_TRUE(encoder.init(1920, 1080, kBitRate, kFrameRate, kGop));
    const auto picture = solidPicture(1920, 1080, kOrange);
    TestDecoder decoder(AV_CODEC_ID_H264);
    ASSERT_TRUE(decoder.isOpen());

    LogCapture::Scope capture;
    AVPacket* first = encoder.encodeVideo(picture.data(), 1920, 1080, 0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->pts, 0);
    EXPECT_TRUE(first->flags & AV_PKT_FLAG_KEY);
    const std::set<int> types = nalTypes(first);
    EXPECT_TRUE(types.count(7)) << "SPS in band";
    EXPECT_TRUE(types.count(8)) << "PPS in band";
    EXPECT_TRUE(types.count(5)) << "IDR slice";
    ASSERT_TRUE(decoder.decode(first->data, first->size));

    encodeAndDecode(picture, 1920, 1080, 2, decoder, 1);
    EXPECT_EQ(capture.log().total(), 0) << "the direct path logs nothing per frame";
    expectDecodedPictures(decoder, 3, 1920, 1080, kOrange);
}

TEST_F(H264EncoderTest, LibyuvScalesALargerSourceAndLogsOnlyOnce)
{
    ASSERT_TRUE(encoder.init(1280, 720, kBitRate, kFrameRate, kGop));
    const auto picture = solidPicture(2560, 1440, kOrange);
    TestDecoder decoder(AV_CODEC_ID_H264);
    LogCapture::Scope capture;
    encodeAndDecode(picture, 2560, 1440, 3, decoder, 0);
    EXPECT_EQ(capture.log().count("scale by libyuv : 2560x1440"), 1);
    EXPECT_EQ(capture.log().total(), 1);
    expectDecodedPictures(decoder, 3, 1280, 720, kOrange);
}

TEST_F(H264EncoderTest, SwscaleHandlesSidesThatAreNotMultiplesOfFourWithOneScaler)
{
    ASSERT_TRUE(encoder.init(1280, 720, kBitRate, kFrameRate, kGop));
    const auto picture = solidPicture(1366, 768, kOrange);
    TestDecoder decoder(AV_CODEC_ID_H264);
    LogCapture::Scope capture;
    encodeAndDecode(picture, 1366, 768, 3, decoder, 0);
    EXPECT_EQ(capture.log().count("scale by ff : 1366x768"), 1);
    EXPECT_EQ(capture.log().total(), 1);
    expectDecodedPictures(decoder, 3, 1280, 720, kOrange);
}

TEST_F(H264EncoderTest, AlternatingSourceSizesRebuildTheConverterOnEverySwitch)
{
    ASSERT_TRUE(encoder.init(1280, 720, kBitRate, kFrameRate, kGop));
    const auto odd = solidPicture(1366, 768, kOrange);
    const auto large = solidPicture(1920, 1080, Bgra{200, 60, 20});
    TestDecoder decoder(AV_CODEC_ID_H264);
    LogCapture::Scope capture;
    for (int round = 0; round < 2; ++round) {
        for (const auto* picture : {&odd, &large}) {
            const int width = picture == &odd ? 1366 : 1920;
            const int height = picture == &odd ? 768 : 1080;
            AVPacket* packet = encoder.encodeVideo(picture->data(), width, height, 0);
            ASSERT_NE(packet, nullptr);
            ASSERT_TRUE(decoder.decode(packet->data, packet->size));
        }
    }
    EXPECT_EQ(capture.log().count("scale by ff : 1366x768"), 2);
    EXPECT_EQ(capture.log().count("scale by libyuv : 1920x1080"), 2);
    expectDecodedPictures(decoder, 4, 1280, 720, Bgra{200, 60, 20});
}

TEST_F(H264EncoderTest, FrameCounterTimesPicturesAndRestartsAfterReinit)
{
    const auto picture = solidPicture(320, 240, kOrange);
    ASSERT_TRUE(encoder.init(320, 240, kBitRate, kFrameRate, kGop));
    for (int64_t expected = 0; expected < 3; ++expected) {
        AVPacket* packet = encoder.encodeVideo(picture.data(), 320, 240, 0);
        ASSERT_NE(packet, nullptr);
        EXPECT_EQ(packet->pts, expected);
    }
    // A caller's own time is used as given and leaves the counter alone.
    AVPacket* stamped = encoder.encodeVideo(picture.data(), 320, 240, 100);
    ASSERT_NE(stamped, nullptr);
    EXPECT_EQ(stamped->pts, 100);

    encoder.destroy();
    ASSERT_TRUE(encoder.init(320, 240, kBitRate, kFrameRate, kGop));
    AVPacket* again = encoder.encodeVideo(picture.data(), 320, 240, 0);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->pts, 0);
    EXPECT_TRUE(again->flags & AV_PKT_FLAG_KEY);
}

TEST_F(H264EncoderTest, KeyFramesFollowTheGop)
{
    ASSERT_TRUE(encoder.init(320, 240, kBitRate, kFrameRate, kGop));
    std::vector<uint8_t> picture = solidPicture(320, 240, kOrange);
    for (int i = 0; i <= kGop; ++i) {
        picture[(i * 97 % picture.size()) & ~size_t{3}] ^= 0xFF;  // keep the picture moving
        AVPacket* packet = encoder.encodeVideo(picture.data(), 320, 240, 0);
        ASSERT_NE(packet, nullptr);
        const bool key = packet->flags & AV_PKT_FLAG_KEY;
        EXPECT_EQ(key, i % kGop == 0) << "picture " << i;
        if (key) {
            EXPECT_TRUE(nalTypes(packet).count(7)) << "SPS repeated with every IDR";
        }
    }
}

TEST_F(H264EncoderTest, RequestedKeyFrameIsTheNextPictureAndOnlyThatOne)
{
    ASSERT_TRUE(encoder.init(320, 240, kBitRate, kFrameRate, kGop));
    std::vector<uint8_t> picture = solidPicture(320, 240, kOrange);
    for (int i = 0; i < 8; ++i) {
        picture[(i * 97 % picture.size()) & ~size_t{3}] ^= 0xFF;
        if (i == 5) encoder.requestKeyFrame();  // a receiver joins mid-GOP
        AVPacket* packet = encoder.encodeVideo(picture.data(), 320, 240, 0);
        ASSERT_NE(packet, nullptr);
        const std::set<int> types = nalTypes(packet);
        const bool expectIdr = i == 0 || i == 5;
        EXPECT_EQ(bool(packet->flags & AV_PKT_FLAG_KEY), expectIdr) << "picture " << i;
        EXPECT_EQ(types.count(5) == 1, expectIdr) << "picture " << i;
        if (expectIdr) {
            EXPECT_TRUE(types.count(7) && types.count(8)) << "parameter sets with the IDR";
        }
    }
}

TEST_F(H264EncoderTest, UnusableStatesFailWithoutCrashing)
{
    encoder.destroy();
    encoder.destroy();  // twice on a torn-down encoder
    const auto picture = solidPicture(64, 64, kOrange);
    EXPECT_EQ(encoder.encodeVideo(picture.data(), 64, 64, 0), nullptr);
    EXPECT_FALSE(encoder.scaleByLibyuv(picture.data(), 64, 64));

    EXPECT_FALSE(encoder.init(0, 0, kBitRate, kFrameRate, kGop)) << "libx264 refuses 0x0";
    EXPECT_EQ(encoder.encodeVideo(picture.data(), 64, 64, 0), nullptr);
    EXPECT_FALSE(encoder.init(64, 64, kBitRate, 0, kGop));

    // A failed init does not stand in the way of the next one.
    ASSERT_TRUE(encoder.init(64, 64, kBitRate, kFrameRate, kGop));
    EXPECT_EQ(encoder.encodeVideo(nullptr, 64, 64, 0), nullptr);
    EXPECT_EQ(encoder.encodeVideo(picture.data(), 0, 64, 0), nullptr);
    EXPECT_NE(encoder.encodeVideo(picture.data(), 64, 64, 0), nullptr);
}

}  // namespace
