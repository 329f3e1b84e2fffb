// AAC-LC encoder of the desktop sharing pipeline: one block of interleaved S16 PCM,
// exactly one AAC frame long, in; one ADTS-framed AAC frame out.
#pragma once

#include <cstdint>

#include "libcapture/desktopsharing/adtsheader.h"

extern "C" {
#include <libavcodec/packet.h>
}

struct AVCodecContext;
struct AVFrame;
struct SwrContext;

class AACEncoder {
public:
    static AACEncoder& instance();

    // Opens FFmpeg's native AAC encoder. Refuses formats an ADTS header cannot describe
    // (sample rates outside the MPEG-4 table, channel counts other than 1 to 6).
    bool init(int32_t channels, int32_t sampleRate, int32_t bitRate);

    // Samples per channel one encodeAudio call takes; 0 when not initialised.
    int32_t frameSize() const;

    // pcm: samples x channels interleaved signed 16-bit values; samples must equal
    // frameSize(). Returns a new packet (ADTS header + AAC frame) that the caller frees
    // with av_packet_free, or null (the encoder may hold the first frames back).
    AVPacket* encodeAudio(const uint8_t* pcm, int32_t samples);

    // Releases everything; harmless on an encoder that was never initialised.
    void destroy();

    AACEncoder(const AACEncoder&) = delete;
    AACEncoder& operator=(const AACEncoder&) = delete;

private:
    AACEncoder() = default;
    ~AACEncoder();

    bool createResampler();
    bool buildAdtsHeader(int payloadSize, int sampleRate, int channels);

    bool initialized = false;
    int32_t channels = 0;
    int32_t sampleRate = 0;
    int32_t bitRate = 0;
    AVCodecContext* codecContext = nullptr;
    SwrContext* resampler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int32_t samplesSent = 0;
    vantor::AdtsHeader adtsHeader{};
};
