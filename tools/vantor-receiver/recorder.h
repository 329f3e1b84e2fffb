// Remuxes one cast's H.264 and ADTS AAC frames into a Matroska or MP4 file without
// re-encoding. The container header needs both streams' parameters, so packets wait
// until the first frame with SPS and PPS and the first audio frame have arrived (or
// that channel has ended); the wait is bounded.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "tools/vantor-receiver/adtsframe.h"

struct AVFormatContext;
struct AVStream;

namespace vantor::receiver {

class Recorder {
public:
    explicit Recorder(std::string path);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void addVideo(const uint8_t* annexB, size_t size, uint32_t timestampMs);
    void addAudio(const uint8_t* adts, size_t size, uint32_t timestampMs);
    // The channel will deliver nothing more: do not wait for its parameters.
    void endVideo();
    void endAudio();
    // Writes what is pending and the trailer. Returns false when no usable file came out.
    bool finish();

    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }
    int64_t videoPacketsWritten() const { return videoWritten_; }
    int64_t audioPacketsWritten() const { return audioWritten_; }

private:
    struct Pending {
        bool video;
        uint32_t timestamp;
        std::vector<uint8_t> data;  // audio without its ADTS header
        bool key;
    };

    void queue(Pending packet);
    void startIfReady(bool force);
    bool openMuxer();
    void write(const Pending& packet);
    void failWith(const std::string& message);

    std::string path_;
    std::string error_;
    bool failed_ = false;
    bool finished_ = false;
    bool finishedOk_ = false;
    bool headerWritten_ = false;
    AVFormatContext* format_ = nullptr;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;

    bool videoReady_ = false, videoEnded_ = false;
    std::vector<uint8_t> videoExtradata_;
    int width_ = 0, height_ = 0;
    bool audioReady_ = false, audioEnded_ = false;
    AdtsFrameInfo audioInfo_;

    std::deque<Pending> pending_;
    size_t pendingBytes_ = 0;
    int64_t timestampBase_ = 0;
    int64_t lastVideoDts_ = -1, lastAudioDts_ = -1;
    int64_t lastVideoInterval_ = 0, lastAudioInterval_ = 0;
    int64_t videoWritten_ = 0, audioWritten_ = 0;
};

}  // namespace vantor::receiver
