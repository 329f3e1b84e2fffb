#include "tests/encoders/testdecoder.h"

TestDecoder::TestDecoder(AVCodecID id)
{
    const AVCodec* codec = avcodec_find_decoder(id);
    if (!codec) {
        return;
    }
    context = avcodec_alloc_context3(codec);
    if (context && avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
    }
}

TestDecoder::~TestDecoder() { avcodec_free_context(&context); }

bool TestDecoder::decode(const uint8_t* data, int size)
{
    AVPacket* packet = av_packet_alloc();
    if (!packet || av_new_packet(packet, size) < 0) {
        av_packet_free(&packet);
        return false;
    }
    std::copy(data, data + size, packet->data);
    const bool sent = send(packet);
    av_packet_free(&packet);
    return sent;
}

void TestDecoder::flush() { send(nullptr); }

bool TestDecoder::send(const AVPacket* packet)
{
    if (!context || avcodec_send_packet(context, packet) < 0) {
        return false;
    }
    for (;;) {
        FramePtr frame(av_frame_alloc());
        const int received = avcodec_receive_frame(context, frame.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
            return true;
        }
        if (received < 0) {
            return false;
        }
        frames.push_back(std::move(frame));
    }
}
