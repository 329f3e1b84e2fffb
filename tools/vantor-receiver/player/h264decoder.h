// libavcodec's H.264 decoder set up for live pictures: one packet in, its picture
// out at once (no frame reordering, no frame-thread delay; slices decoded in
// parallel).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace vantor::receiver {

class H264Decoder {
public:
    H264Decoder() = default;
    ~H264Decoder();
    H264Decoder(const H264Decoder&) = delete;
    H264Decoder& operator=(const H264Decoder&) = delete;

    bool open(std::string* error);
    // Decodes one Annex B access unit; each picture that comes out is handed over
    // (the callee owns it). False with *error when the decoder rejects the data.
    bool decode(const uint8_t* annexB, size_t size,
                const std::function<void(AVFrame* picture)>& onPicture, std::string* error);

private:
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
};

}  // namespace vantor::receiver
