#include "tools/vantor-receiver/player/h264decoder.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "tools/vantor-receiver/player/averror.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace vantor::receiver {

H264Decoder::~H264Decoder()
{
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
}

bool H264Decoder::open(std::string* error)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (!codec) {
        *error = "no H.264 decoder in libavcodec";
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    if (!context_ || !packet_) {
        *error = "out of memory";
        return false;
    }
    // Every picture is shown the moment it is decoded: frame threads would hold
    // pictures back, slice threads do not.
    context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    context_->thread_type = FF_THREAD_SLICE;
    context_->thread_count = int(std::max(1u, std::min(4u, std::thread::hardware_concurrency())));
    const int rc = avcodec_open2(context_, codec, nullptr);
    if (rc < 0) {
        *error = "cannot open the H.264 decoder: " + averrorText(rc);
        return false;
    }
    return true;
}

bool H264Decoder::decode(const uint8_t* annexB, size_t size,
                         const std::function<void(AVFrame*)>& onPicture, std::string* error)
{
    av_packet_unref(packet_);
    if (av_new_packet(packet_, int(size)) < 0) {
        *error = "out of memory";
        return false;
    }
    std::memcpy(packet_->data, annexB, size);
    int rc = avcodec_send_packet(context_, packet_);
    if (rc < 0 && rc != AVERROR(EAGAIN)) {
        *error = averrorText(rc);
        return false;
    }
    for (;;) {
        AVFrame* picture = av_frame_alloc();
        if (!picture) {
            *error = "out of memory";
            return false;
        }
        rc = avcodec_receive_frame(context_, picture);
        if (rc < 0) {
            av_frame_free(&picture);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            *error = averrorText(rc);
            return false;
        }
        onPicture(picture);
    }
}

}  // namespace vantor::receiver
