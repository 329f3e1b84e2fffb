// Framing checks of one media connection, on byte buffers.
#include "tools/vantor-receiver/streamparser.h"

#include <gtest/gtest.h>

#include "tests/receiver/testmedia.h"
#include "tools/vantor-receiver/adtsframe.h"
#include "tools/vantor-receiver/h264nalscan.h"

namespace vantor::receiver::test {
namespace {

Bytes videoPayload(uint8_t fill, size_t size)
{
    Bytes payload = {0, 0, 0, 1, 0x65};
    payload.resize(size, fill);
    return payload;
}

Bytes audioPayload(size_t rawSize)
{
    Bytes payload = adtsHeader(rawSize, 48000, 2);
    payload.resize(7 + rawSize, 0x21);
    return payload;
}

struct Expected {
    Bytes payload;
    uint32_t timestamp;
};

std::vector<MediaFrame> takeAll(StreamParser& parser)
{
    std::vector<MediaFrame> frames;
    MediaFrame frame;
    while (parser.takeFrame(&frame)) frames.push_back(frame);
    return frames;
}

void feed(StreamParser& parser, const Bytes& bytes, size_t from, size_t to)
{
    parser.feed(bytes.data() + from, to - from);
}

TEST(StreamParser, GoodStreamGivesTheSameFramesWhereverItIsSplit)
{
    for (MediaChannel channel : {MediaChannel::Video, MediaChannel::Audio}) {
        const bool audio = channel == MediaChannel::Audio;
        const std::vector<Expected> expected = {
            {audio ? audioPayload(30) : videoPayload(0x11, 40), 100},
            {Bytes{}, 120},  // an empty packet is legal
            {audio ? audioPayload(1) : videoPayload(0x22, 5), 140},
            {audio ? audioPayload(300) : videoPayload(0x33, 700), 0xFFFFFFF0u}};
        Bytes wire = audio ? audioStreamHeader(2, 48000) : Bytes{};
        for (const Expected& e : expected) append(wire, mediaFrame(e.payload, e.timestamp));

        for (size_t split = 0; split <= wire.size(); ++split) {
            SCOPED_TRACE("split at " + std::to_string(split));
            StreamParser parser(channel);
            feed(parser, wire, 0, split);
            std::vector<MediaFrame> frames = takeAll(parser);
            feed(parser, wire, split, wire.size());
            for (MediaFrame& f : takeAll(parser)) frames.push_back(std::move(f));
            parser.finish();
            ASSERT_FALSE(parser.failed()) << parser.error();
            ASSERT_EQ(frames.size(), expected.size());
            uint64_t offset = audio ? kAudioStreamHeaderSize : 0;
            for (size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(frames[i].payload, expected[i].payload);
                EXPECT_EQ(frames[i].timestamp, expected[i].timestamp);
                EXPECT_EQ(frames[i].offset, offset);
                offset += kFrameHeaderSize + expected[i].payload.size();
            }
            EXPECT_EQ(parser.hasAudioHeader(), audio);
            if (audio) {
                EXPECT_EQ(parser.audioHeader().channels, 2u);
                EXPECT_EQ(parser.audioHeader().sampleRate, 48000u);
            }
        }
        StreamParser byteByByte(channel);
        for (size_t i = 0; i < wire.size(); ++i) feed(byteByByte, wire, i, i + 1);
        EXPECT_EQ(takeAll(byteByByte).size(), expected.size());
    }
}

TEST(StreamParser, LengthAboveTheLimitIsAnErrorAtItsHeader)
{
    Bytes wire = mediaFrame(videoPayload(1, 10), 5);
    const uint64_t badOffset = wire.size();
    const uint32_t length = kMaxFrameLength + 1;
    append(wire, {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8),
                  uint8_t(length), 0, 0, 0, 9});
    StreamParser parser(MediaChannel::Video);
    parser.feed(wire.data(), wire.size());
    ASSERT_TRUE(parser.failed());
    EXPECT_EQ(parser.errorOffset(), badOffset);
    EXPECT_EQ(parser.error(),
              "video channel: frame length 67108865 above the 64 MiB limit at "
              "byte offset " +
                  std::to_string(badOffset));
    EXPECT_EQ(takeAll(parser).size(), 1u);  // the frame before the fault survives

    // Exactly 64 MiB is still a frame: the parser waits for its payload.
    StreamParser atLimit(MediaChannel::Video);
    const Bytes header = {4, 0, 0, 0, 0, 0, 0, 1};
    atLimit.feed(header.data(), header.size());
    EXPECT_FALSE(atLimit.failed());
}

TEST(StreamParser, BadAudioHeaderMarkerIsAnError)
{
    Bytes wire = audioStreamHeader(2, 48000, 2);
    append(wire, mediaFrame(audioPayload(20), 1));
    StreamParser parser(MediaChannel::Audio);
    parser.feed(wire.data(), wire.size());
    ASSERT_TRUE(parser.failed());
    EXPECT_EQ(parser.error(),
              "audio channel: bad audio stream header marker 2 (expected 1) at byte offset 0");
    EXPECT_TRUE(takeAll(parser).empty());
    EXPECT_FALSE(parser.hasAudioHeader());
}

TEST(StreamParser, ImpossibleAudioFormatIsAnError)
{
    const Bytes wire = audioStreamHeader(0, 48000);
    StreamParser parser(MediaChannel::Audio);
    parser.feed(wire.data(), wire.size());
    EXPECT_TRUE(parser.failed());
}

TEST(StreamParser, TruncatedPayloadIsAnErrorAtTheEnd)
{
    Bytes wire = mediaFrame(videoPayload(1, 10), 5);
    const size_t second = wire.size();
    append(wire, mediaFrame(videoPayload(2, 100), 6));
    wire.resize(wire.size() - 1);
    StreamParser parser(MediaChannel::Video);
    parser.feed(wire.data(), wire.size());
    EXPECT_FALSE(parser.failed());
    parser.finish();
    ASSERT_TRUE(parser.failed());
    EXPECT_EQ(parser.errorOffset(), second);
    EXPECT_NE(parser.error().find("video channel: connection ended inside a frame"),
              std::string::npos);
    EXPECT_EQ(takeAll(parser).size(), 1u);
}

TEST(StreamParser, TruncatedHeadersAreErrorsAndAnEmptyStreamIsNot)
{
    StreamParser empty(MediaChannel::Audio);
    empty.finish();
    EXPECT_FALSE(empty.failed());

    const Bytes partialAudioHeader = {0, 0, 0, 1, 0, 0};
    StreamParser audio(MediaChannel::Audio);
    audio.feed(partialAudioHeader.data(), partialAudioHeader.size());
    audio.finish();
    EXPECT_EQ(audio.error(),
              "audio channel: connection ended inside the audio stream header at byte offset 0");

    const Bytes partialFrameHeader = {0, 0, 0};
    StreamParser video(MediaChannel::Video);
    video.feed(partialFrameHeader.data(), partialFrameHeader.size());
    video.finish();
    EXPECT_TRUE(video.failed());
}

TEST(StreamParser, ZeroLengthFrameIsAFrame)
{
    const Bytes wire = mediaFrame({}, 77);
    StreamParser parser(MediaChannel::Video);
    parser.feed(wire.data(), wire.size());
    parser.finish();
    EXPECT_FALSE(parser.failed());
    const std::vector<MediaFrame> frames = takeAll(parser);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(frames[0].payload.empty());
    EXPECT_EQ(frames[0].timestamp, 77u);
}

TEST(StreamParser, PayloadThatIsNotItsCodecIsAnError)
{
    const Bytes noStartCode = mediaFrame({0x65, 1, 2, 3}, 1);
    StreamParser video(MediaChannel::Video);
    video.feed(noStartCode.data(), noStartCode.size());
    EXPECT_NE(video.error().find("does not begin with an H.264 start code at byte offset 0"),
              std::string::npos);

    Bytes badSync = audioPayload(10);
    badSync[1] = 0x01;
    Bytes wire = audioStreamHeader(2, 48000);
    append(wire, mediaFrame(audioPayload(10), 1));
    const size_t badOffset = wire.size();
    append(wire, mediaFrame(badSync, 2));
    StreamParser audio(MediaChannel::Audio);
    audio.feed(wire.data(), wire.size());
    EXPECT_EQ(audio.error(), "audio channel: bad ADTS header: no sync word at byte offset " +
                                 std::to_string(badOffset));
    EXPECT_EQ(takeAll(audio).size(), 1u);

    Bytes wrongLength = audioPayload(10);
    wrongLength.push_back(0);  // ADTS says 17 bytes, the frame carries 18
    const Bytes lengthWire = [&] {
        Bytes w = audioStreamHeader(2, 48000);
        append(w, mediaFrame(wrongLength, 1));
        return w;
    }();
    StreamParser mismatch(MediaChannel::Audio);
    mismatch.feed(lengthWire.data(), lengthWire.size());
    EXPECT_NE(mismatch.error().find("differs from payload length 18"), std::string::npos);
}

TEST(AdtsFrame, ReadsTheHeaderASenderBuildsAndGivesTheMatchingConfig)
{
    const Bytes header = adtsHeader(300, 48000, 2);
    EXPECT_EQ(header, (Bytes{0xFF, 0xF1, 0x4C, 0x80, 0x26, 0x7F, 0xFC}));
    AdtsFrameInfo info;
    ASSERT_EQ(parseAdtsHeader(header.data(), header.size(), &info), "");
    EXPECT_EQ(info.objectType, 2);
    EXPECT_EQ(info.sampleRate, 48000);
    EXPECT_EQ(info.channelConfiguration, 2);
    EXPECT_EQ(info.frameLength, 307u);
    EXPECT_EQ(info.headerLength, 7u);
    uint8_t config[2];
    audioSpecificConfig(info, config);
    EXPECT_EQ(config[0], 0x11);  // AAC LC, 48 kHz, stereo
    EXPECT_EQ(config[1], 0x90);
    EXPECT_NE(parseAdtsHeader(header.data(), 6, &info), "");
}

TEST(AnnexBScan, FindsParameterSetsAndIdr)
{
    const Bytes packet = {0,    0,    0, 1, 0x67, 0xAA, 0xBB, 0,    0,   1,
                          0x68, 0xCC, 0, 0, 0,    1,    0x65, 0x88, 0x99};
    const AnnexBSummary summary = scanAnnexB(packet.data(), packet.size());
    EXPECT_TRUE(summary.hasSps);
    EXPECT_TRUE(summary.hasPps);
    EXPECT_TRUE(summary.hasIdr);
    EXPECT_EQ(summary.sps, (Bytes{0x67, 0xAA, 0xBB}));
    EXPECT_EQ(summary.pps, (Bytes{0x68, 0xCC}));

    const Bytes slice = {0, 0, 1, 0x41, 0x9A};
    const AnnexBSummary plain = scanAnnexB(slice.data(), slice.size());
    EXPECT_FALSE(plain.hasSps || plain.hasPps || plain.hasIdr);
}

TEST(AnnexBScan, PacketEndingInAStartCodeKeepsTheStartCodeOutOfTheLastUnit)
{
    const Bytes packet = {0, 0, 0, 1, 0x67, 0xAA, 0, 0, 1, 0x68, 0xCC, 0, 0, 1};
    const AnnexBSummary summary = scanAnnexB(packet.data(), packet.size());
    EXPECT_EQ(summary.sps, (Bytes{0x67, 0xAA}));
    EXPECT_EQ(summary.pps, (Bytes{0x68, 0xCC}));
}

}  // namespace
}  // namespace vantor::receiver::test
