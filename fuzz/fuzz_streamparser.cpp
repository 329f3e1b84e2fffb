// The receiver's media stream parser, fed a connection's bytes in arbitrary TCP
// segment splits. Whatever the splits, it must find the same frames, the same audio
// stream header and the same fault at the same offset as when the stream arrives in
// one piece, and every frame it hands out must be the bytes the stream carried.
//
// Input: byte 0 picks the channel (bit 0: audio) and, with byte 1, the segment sizes;
// the connection's bytes follow from byte 2.

#include <cstring>
#include <vector>

#include "fuzz/fuzzcheck.h"
#include "tools/vantor-receiver/adtsframe.h"
#include "tools/vantor-receiver/streamparser.h"

using vantor::receiver::AdtsFrameInfo;
using vantor::receiver::kAudioStreamHeaderSize;
using vantor::receiver::kFrameHeaderSize;
using vantor::receiver::MediaChannel;
using vantor::receiver::MediaFrame;
using vantor::receiver::StreamParser;

namespace {

struct Outcome {
    std::vector<MediaFrame> frames;
    bool hasAudioHeader = false;
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    bool failed = false;
    std::string error;
    uint64_t errorOffset = 0;
};

void takeAll(StreamParser& parser, Outcome* outcome)
{
    MediaFrame frame;
    while (parser.takeFrame(&frame)) outcome->frames.push_back(std::move(frame));
}

Outcome finishOutcome(StreamParser& parser, Outcome outcome)
{
    parser.finish();
    takeAll(parser, &outcome);
    outcome.hasAudioHeader = parser.hasAudioHeader();
    outcome.channels = parser.audioHeader().channels;
    outcome.sampleRate = parser.audioHeader().sampleRate;
    outcome.failed = parser.failed();
    outcome.error = parser.error();
    outcome.errorOffset = parser.errorOffset();
    return outcome;
}

Outcome inOnePiece(MediaChannel channel, const uint8_t* stream, size_t size)
{
    StreamParser parser(channel);
    parser.feed(stream, size);
    return finishOutcome(parser, Outcome());
}

Outcome inSegments(MediaChannel channel, const uint8_t* stream, size_t size, uint8_t control)
{
    StreamParser parser(channel);
    fuzz::SegmentSizes sizes(control);
    Outcome outcome;
    for (size_t at = 0; at < size;) {
        const size_t length = std::min(sizes.next(), size - at);
        // A segment of its own buffer, so that reading past it shows up.
        const std::vector<uint8_t> segment(stream + at, stream + at + length);
        parser.feed(segment.data(), segment.size());
        parser.feed(segment.data(), 0);  // an empty read changes nothing
        at += length;
        // The receiver takes frames as they complete, between segments.
        takeAll(parser, &outcome);
    }
    return finishOutcome(parser, std::move(outcome));
}

uint32_t bigEndian32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Every frame is exactly the bytes at its offset, frames follow each other without
// gaps, and audio payloads carry a sound ADTS header of their own length.
void checkFrames(MediaChannel channel, const Outcome& outcome, const uint8_t* stream, size_t size)
{
    uint64_t expected = 0;
    if (channel == MediaChannel::Audio && outcome.hasAudioHeader) {
        FUZZ_CHECK(size >= kAudioStreamHeaderSize);
        FUZZ_CHECK(bigEndian32(stream) == 1);
        FUZZ_CHECK(outcome.channels == bigEndian32(stream + 4));
        FUZZ_CHECK(outcome.sampleRate == bigEndian32(stream + 8));
        expected = kAudioStreamHeaderSize;
    }
    if (channel == MediaChannel::Audio && !outcome.hasAudioHeader)
        FUZZ_CHECK(outcome.frames.empty());
    for (const MediaFrame& frame : outcome.frames) {
        FUZZ_CHECK(frame.offset == expected);
        FUZZ_CHECK(frame.offset + kFrameHeaderSize + frame.payload.size() <= size);
        const uint8_t* header = stream + frame.offset;
        FUZZ_CHECK(bigEndian32(header) == frame.payload.size());
        FUZZ_CHECK(bigEndian32(header + 4) == frame.timestamp);
        FUZZ_CHECK(frame.payload.empty() ||
                   std::memcmp(header + kFrameHeaderSize, frame.payload.data(),
                               frame.payload.size()) == 0);
        if (channel == MediaChannel::Audio && !frame.payload.empty()) {
            AdtsFrameInfo info;
            FUZZ_CHECK(
                vantor::receiver::parseAdtsHeader(frame.payload.data(), frame.payload.size(), &info)
                    .empty());
            FUZZ_CHECK(info.frameLength == frame.payload.size());
        }
        expected = frame.offset + kFrameHeaderSize + frame.payload.size();
    }
    // Without a fault the whole stream was frames; a fault lies past the last frame.
    if (!outcome.failed) FUZZ_CHECK(expected == size);
    if (outcome.failed) {
        FUZZ_CHECK(outcome.errorOffset == expected);
        FUZZ_CHECK(!outcome.error.empty());
    }
}

void checkSame(const Outcome& a, const Outcome& b)
{
    FUZZ_CHECK(a.frames.size() == b.frames.size());
    for (size_t i = 0; i < a.frames.size(); ++i) {
        FUZZ_CHECK(a.frames[i].offset == b.frames[i].offset);
        FUZZ_CHECK(a.frames[i].timestamp == b.frames[i].timestamp);
        FUZZ_CHECK(a.frames[i].payload == b.frames[i].payload);
    }
    FUZZ_CHECK(a.hasAudioHeader == b.hasAudioHeader);
    FUZZ_CHECK(a.channels == b.channels && a.sampleRate == b.sampleRate);
    FUZZ_CHECK(a.failed == b.failed);
    FUZZ_CHECK(a.error == b.error);
    FUZZ_CHECK(a.errorOffset == b.errorOffset);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const MediaChannel channel = (data[0] & 1) ? MediaChannel::Audio : MediaChannel::Video;
    const uint8_t control = uint8_t((data[0] >> 1) ^ data[1]);
    const uint8_t* stream = data + 2;
    const size_t streamSize = size - 2;

    const Outcome whole = inOnePiece(channel, stream, streamSize);
    checkFrames(channel, whole, stream, streamSize);
    checkSame(inSegments(channel, stream, streamSize, control), whole);
    return 0;
}
