#include "tests/windows/e2e/mediastream.h"

#include <cstdio>

#include "src/transport/framewriter.h"
#include "src/transport/mediaframing.h"
#include "src/transport/packet.h"

bool MediaStream::connect(const char* host)
{
    video_ = connectTcp(host, kVideoPort);
    if (video_ != kInvalidSocket) audio_ = connectTcp(host, kAudioPort);
    if (video_ == kInvalidSocket || audio_ == kInvalidSocket) {
        std::fprintf(stderr, "wincast: cannot connect to %s\n", host);
        close();
        return false;
    }
    return true;
}

bool MediaStream::writeAudioHeader(int channels, int sampleRate)
{
    const auto header =
        audioStreamHeader(static_cast<uint32_t>(channels), static_cast<uint32_t>(sampleRate));
    int error = 0;
    return sendAll(audio_, header.data(), header.size(), error) >= 0;
}

void MediaStream::close()
{
    for (TcpSocket* socket : {&video_, &audio_}) {
        if (*socket != kInvalidSocket) closeTcp(*socket);
        *socket = kInvalidSocket;
    }
}

int MediaStream::onPacket(void* context, int mediaType, uint8_t* data, int size, int /*codecTag*/,
                          uint32_t timestamp)
{
    auto* self = static_cast<MediaStream*>(context);
    const bool video = mediaType == 0;
    if (self->writeFrame(video ? self->video_ : self->audio_, data, size, timestamp))
        ++(video ? self->videoPackets_ : self->audioPackets_);
    {
        std::lock_guard<std::mutex> lock(self->mutex_);  // no wake-up lost to the waiter
    }
    self->sent_.notify_all();
    return 0;
}

bool MediaStream::waitForPackets(int video, int audio, std::chrono::seconds limit)
{
    std::unique_lock<std::mutex> lock(mutex_);
    sent_.wait_for(lock, limit, [&] {
        return writeFailed_ || (videoPackets_ >= video && audioPackets_ >= audio);
    });
    return !writeFailed_ && videoPackets_ >= video && audioPackets_ >= audio;
}

bool MediaStream::writeFrame(TcpSocket socket, uint8_t* data, int size, uint32_t timestamp)
{
    if (writeFailed_ || socket == kInvalidSocket || size < 0) return false;
    Packet packet;
    packet.data = data;
    packet.size = static_cast<uint32_t>(size);
    packet.timestamp = timestamp;
    int error = 0;
    if (FrameWriter(socket, packet).writeRest(error)) return true;
    std::fprintf(stderr, "wincast: write failed (%d)\n", error);
    writeFailed_ = true;
    return false;
}
