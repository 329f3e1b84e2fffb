// A libavcodec decoder for checking what the encoders produce.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

class TestDecoder {
public:
    explicit TestDecoder(AVCodecID id);
    ~TestDecoder();
    TestDecoder(const TestDecoder&) = delete;
    TestDecoder& operator=(const TestDecoder&) = delete;

    bool isOpen() const { return context != nullptr; }
    // Decodes one packet; returns false on a decoding error. Pictures land in frames.
    bool decode(const uint8_t* data, int size);
    // Drains what the decoder still holds.
    void flush();

    std::vector<FramePtr> frames;

private:
    bool send(const AVPacket* packet);

    AVCodecContext* context = nullptr;
};
