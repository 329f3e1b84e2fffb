// The two media connections to a receiver, framed as the Sender frames them (the
// Sender is a Qt object, and Qt is not part of the Windows cross build): the
// audio stream header on the audio channel, then one media frame per packet.
// Video packets come from the pipeline's video loop and audio packets from its
// audio loop, so each channel has one writer.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "src/transport/sockethelpers.h"

class MediaStream {
public:
    MediaStream() = default;
    ~MediaStream() { close(); }
    MediaStream(const MediaStream&) = delete;
    MediaStream& operator=(const MediaStream&) = delete;

    // The video channel, then the audio channel; false (both closed) when either fails.
    bool connect(const char* host);
    bool writeAudioHeader(int channels, int sampleRate);
    void close();

    // The pipeline's PacketCallback, context = this stream.
    static int onPacket(void* context, int mediaType, uint8_t* data, int size, int codecTag,
                        uint32_t timestamp);

    // Until at least this many packets of each kind went out, a write failed or
    // the limit passed; true in the first case.
    bool waitForPackets(int video, int audio, std::chrono::seconds limit);

    int videoPackets() const { return videoPackets_; }
    int audioPackets() const { return audioPackets_; }
    bool writeFailed() const { return writeFailed_; }

private:
    bool writeFrame(TcpSocket socket, uint8_t* data, int size, uint32_t timestamp);

    TcpSocket video_ = kInvalidSocket;
    TcpSocket audio_ = kInvalidSocket;
    std::atomic<int> videoPackets_{0};
    std::atomic<int> audioPackets_{0};
    std::atomic<bool> writeFailed_{false};
    std::mutex mutex_;
    std::condition_variable sent_;
};
