// Splits one media connection's byte stream into frames and checks the framing.
// Pure and socket-free so that every byte boundary can be exercised in tests.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace vantor::receiver {

enum class MediaChannel { Video, Audio };
const char* channelName(MediaChannel channel);

// Larger frames are treated as a broken stream rather than buffered.
constexpr uint32_t kMaxFrameLength = 64u * 1024u * 1024u;
constexpr size_t kFrameHeaderSize = 8;
constexpr size_t kAudioStreamHeaderSize = 20;

struct AudioStreamHeader {
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
};

struct MediaFrame {
    uint32_t timestamp = 0;
    uint64_t offset = 0;  // byte offset of the frame header in the connection
    std::vector<uint8_t> payload;
};

class StreamParser {
public:
    explicit StreamParser(MediaChannel channel);

    // Consumes bytes; complete, validated frames queue up for takeFrame().
    // After an error every further byte is ignored.
    void feed(const uint8_t* data, size_t size);
    // End of the connection: a partly received header or frame is an error.
    void finish();

    bool takeFrame(MediaFrame* frame);

    bool hasAudioHeader() const { return haveAudioHeader_; }
    AudioStreamHeader audioHeader() const { return audioHeader_; }

    bool failed() const { return !error_.empty(); }
    // "<channel> channel: <what> at byte offset <n>"
    const std::string& error() const { return error_; }
    uint64_t errorOffset() const { return errorOffset_; }

private:
    bool parseNext();
    bool parseAudioHeader();
    bool parseFrame();
    std::string validatePayload(const uint8_t* payload, uint32_t length) const;
    void fail(const std::string& what, uint64_t offset);
    uint64_t offsetOf(size_t bufferIndex) const { return bufferStart_ + bufferIndex; }

    MediaChannel channel_;
    std::vector<uint8_t> buffer_;
    size_t readPos_ = 0;
    uint64_t bufferStart_ = 0;  // connection offset of buffer_[0]
    bool haveAudioHeader_ = false;
    AudioStreamHeader audioHeader_;
    std::deque<MediaFrame> frames_;
    std::string error_;
    uint64_t errorOffset_ = 0;
};

}  // namespace vantor::receiver
