// A minimal receiving end for the media channels: listens on the video and audio
// ports of one loopback address, accepts one connection on each and collects
// the bytes. Reading can be held back to play a slow receiver.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MediaSink {
public:
    // listenAudio false: only the video port listens.
    MediaSink(const std::string& address, bool listenAudio = true, bool startReading = true);
    ~MediaSink();

    void startReading();
    // Holds back (false) or resumes (true) reading the audio connection alone.
    void setReadingAudio(bool reading);
    bool listening() const { return videoListen_ >= 0; }

    // Waits until the stream carries `bytes` bytes or the channel closed.
    bool waitForVideoBytes(size_t bytes, int timeoutMs);
    bool waitForClose(int timeoutMs);
    // Connections accepted so far on the video (0) or audio (1) port.
    int accepted(int channel) const { return accepted_[channel].load(); }

    std::vector<uint8_t> videoBytes();
    std::vector<uint8_t> audioBytes();

    struct Frame {
        uint32_t timestamp;
        std::vector<uint8_t> payload;
    };
    // Splits a stream into media frames; false when it does not end on a frame boundary.
    static bool parseFrames(const std::vector<uint8_t>& stream, std::vector<Frame>& frames);

private:
    void readChannel(int listenFd, int channel);

    int videoListen_ = -1;
    int audioListen_ = -1;
    std::atomic<bool> reading_;
    std::atomic<bool> readingAudio_{true};
    std::atomic<int> accepted_[2] = {{0}, {0}};
    std::atomic<bool> quit_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint8_t> data_[2];
    bool closed_[2] = {false, false};
    std::thread threads_[2];
};
