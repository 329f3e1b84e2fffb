#include "tools/vantor-receiver/streamparser.h"

#include "tools/vantor-receiver/adtsframe.h"

namespace vantor::receiver {

namespace {

uint32_t readBigEndian32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

bool startsWithStartCode(const uint8_t* p, uint32_t length)
{
    if (length >= 3 && p[0] == 0 && p[1] == 0 && p[2] == 1) return true;
    return length >= 4 && p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 1;
}

}  // namespace

const char* channelName(MediaChannel channel)
{
    return channel == MediaChannel::Video ? "video" : "audio";
}

StreamParser::StreamParser(MediaChannel channel) : channel_(channel) {}

void StreamParser::feed(const uint8_t* data, size_t size)
{
    if (failed() || size == 0) return;
    // Drop what was consumed before growing, so the buffer holds at most one frame.
    if (readPos_ > 0 && readPos_ == buffer_.size()) {
        bufferStart_ += readPos_;
        buffer_.clear();
        readPos_ = 0;
    } else if (readPos_ > 64 * 1024) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + readPos_);
        bufferStart_ += readPos_;
        readPos_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
    while (!failed() && parseNext()) {
    }
}

void StreamParser::finish()
{
    if (failed()) return;
    const size_t pending = buffer_.size() - readPos_;
    if (pending == 0) return;
    const bool inHeader = channel_ == MediaChannel::Audio && !haveAudioHeader_;
    fail(inHeader ? "connection ended inside the audio stream header"
                  : "connection ended inside a frame (" + std::to_string(pending) +
                        " bytes of it received)",
         offsetOf(readPos_));
}

bool StreamParser::takeFrame(MediaFrame* frame)
{
    if (frames_.empty()) return false;
    *frame = std::move(frames_.front());
    frames_.pop_front();
    return true;
}

bool StreamParser::parseNext()
{
    if (channel_ == MediaChannel::Audio && !haveAudioHeader_) return parseAudioHeader();
    return parseFrame();
}

bool StreamParser::parseAudioHeader()
{
    if (buffer_.size() - readPos_ < kAudioStreamHeaderSize) return false;
    const uint8_t* p = buffer_.data() + readPos_;
    const uint32_t marker = readBigEndian32(p);
    const uint32_t channels = readBigEndian32(p + 4);
    const uint32_t rate = readBigEndian32(p + 8);
    if (marker != 1) {
        fail("bad audio stream header marker " + std::to_string(marker) + " (expected 1)",
             offsetOf(readPos_));
        return false;
    }
    if (channels == 0 || channels > 8 || rate == 0 || rate > 384000) {
        fail("bad audio stream header (channels " + std::to_string(channels) + ", rate " +
                 std::to_string(rate) + ")",
             offsetOf(readPos_));
        return false;
    }
    audioHeader_ = {channels, rate};
    haveAudioHeader_ = true;
    readPos_ += kAudioStreamHeaderSize;
    return true;
}

bool StreamParser::parseFrame()
{
    const size_t available = buffer_.size() - readPos_;
    if (available < kFrameHeaderSize) return false;
    const uint8_t* p = buffer_.data() + readPos_;
    const uint32_t length = readBigEndian32(p);
    if (length > kMaxFrameLength) {
        fail("frame length " + std::to_string(length) + " above the 64 MiB limit",
             offsetOf(readPos_));
        return false;
    }
    if (available < kFrameHeaderSize + length) return false;
    const uint8_t* payload = p + kFrameHeaderSize;
    const std::string problem = validatePayload(payload, length);
    if (!problem.empty()) {
        fail(problem, offsetOf(readPos_));
        return false;
    }
    MediaFrame frame;
    frame.timestamp = readBigEndian32(p + 4);
    frame.offset = offsetOf(readPos_);
    frame.payload.assign(payload, payload + length);
    frames_.push_back(std::move(frame));
    readPos_ += kFrameHeaderSize + length;
    return true;
}

std::string StreamParser::validatePayload(const uint8_t* payload, uint32_t length) const
{
    if (length == 0) return {};  // an empty packet is legal on both channels
    if (channel_ == MediaChannel::Video) {
        if (!startsWithStartCode(payload, length))
            return "video payload of " + std::to_string(length) +
                   " bytes does not begin with an H.264 start code";
        return {};
    }
    AdtsFrameInfo info;
    const std::string problem = parseAdtsHeader(payload, length, &info);
    if (!problem.empty()) return "bad ADTS header: " + problem;
    if (info.frameLength != length)
        return "bad ADTS header: frame length " + std::to_string(info.frameLength) +
               " differs from payload length " + std::to_string(length);
    return {};
}

void StreamParser::fail(const std::string& what, uint64_t offset)
{
    error_ = std::string(channelName(channel_)) + " channel: " + what + " at byte offset " +
             std::to_string(offset);
    errorOffset_ = offset;
    // Frames queued before the fault stay valid; nothing after it is parsed.
}

}  // namespace vantor::receiver
