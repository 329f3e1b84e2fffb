#include "libcapture/desktopsharing/aacencoder.h"

#include <cstring>

#include "Comm/logging.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
}

AACEncoder& AACEncoder::instance()
{
    static AACEncoder encoder;
    return encoder;
}

AACEncoder::~AACEncoder() { destroy(); }

bool AACEncoder::init(int32_t channels, int32_t sampleRate, int32_t bitRate)
{
    // A failed init keeps its context until the next init, so always start clean.
    destroy();

    this->channels = channels;
    this->sampleRate = sampleRate;
    this->bitRate = bitRate;

    // Every packet carries an ADTS header; a format it cannot describe would put
    // garbage into the receiver's decoder, so such formats never get opened.
    if (vantor::adtsFrequencyIndex(sampleRate) < 0) {
        LOG(INFO) << "AACEncoder: unsupported sample rate " << sampleRate
                  << " Hz, ADTS needs one of 96000..7350.";
        return false;
    }
    if (vantor::adtsChannelConfiguration(channels) < 0) {
        LOG(INFO) << "AACEncoder: unsupported channel count " << channels << ", ADTS needs 1 to 6.";
        return false;
    }

    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) {
        LOG(INFO) << "AAC Encoder not found.\n";
        return false;
    }
    codecContext = avcodec_alloc_context3(codec);
    if (!codecContext) {
        LOG(INFO) << "avcodec_alloc_context3() failed.";
        return false;
    }
    // Profile and time base stay at the library's defaults, which give AAC-LC.
    codecContext->sample_rate = sampleRate;
    codecContext->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&codecContext->ch_layout, channels);
    codecContext->bit_rate = bitRate;

    if (avcodec_open2(codecContext, codec, nullptr) < 0) {
        LOG(INFO) << "avcodec_open2() failed.\n";
        return false;
    }
    packet = av_packet_alloc();
    if (!packet) {
        LOG(INFO) << "av_packet_alloc() failed.";
        return false;
    }
    initialized = true;
    return true;
}

int32_t AACEncoder::frameSize() const
{
    return initialized && codecContext ? codecContext->frame_size : 0;
}

bool AACEncoder::createResampler()
{
    AVChannelLayout inputLayout;
    av_channel_layout_default(&inputLayout, channels);
    const int configured = swr_alloc_set_opts2(
        &resampler, &codecContext->ch_layout, codecContext->sample_fmt, codecContext->sample_rate,
        &inputLayout, AV_SAMPLE_FMT_S16, sampleRate, 0, nullptr);
    av_channel_layout_uninit(&inputLayout);
    if (configured < 0 || swr_init(resampler) < 0) {
        LOG(INFO) << "swr_init() failed.\n";
        swr_free(&resampler);
        return false;
    }

    if (!frame) {
        frame = av_frame_alloc();
        if (!frame) {
            LOG(INFO) << "av_frame_alloc() failed.";
            return false;
        }
        frame->format = codecContext->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &codecContext->ch_layout);
        frame->nb_samples = codecContext->frame_size;
        if (av_frame_get_buffer(frame, 0) < 0) {
            LOG(INFO) << "av_frame_get_buffer() failed.\n";
            av_frame_free(&frame);
            return false;
        }
    }
    return true;
}

AVPacket* AACEncoder::encodeAudio(const uint8_t* pcm, int32_t samples)
{
    if (!initialized || !pcm || samples != codecContext->frame_size) {
        return nullptr;
    }
    if (!resampler || !frame) {
        if (!createResampler()) {
            return nullptr;
        }
    }
    // The encoder may still reference the last input; copy-on-write if so.
    if (av_frame_make_writable(frame) < 0) {
        LOG(INFO) << "av_frame_make_writable() failed.";
        return nullptr;
    }

    const uint8_t* input[1] = {pcm};
    if (swr_convert(resampler, frame->data, frame->nb_samples, input, frame->nb_samples) < 0) {
        LOG(INFO) << "swr_convert() failed.\n";
        return nullptr;
    }

    frame->pts = samplesSent;
    samplesSent += frame->nb_samples;

    if (avcodec_send_frame(codecContext, frame) != 0) {
        return nullptr;
    }
    av_packet_unref(packet);
    const int received = avcodec_receive_packet(codecContext, packet);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
        return nullptr;
    }
    if (received < 0) {
        LOG(INFO) << "avcodec_receive_packet() failed.";
        return nullptr;
    }

    if (!buildAdtsHeader(packet->size, codecContext->sample_rate,
                         codecContext->ch_layout.nb_channels)) {
        LOG(INFO) << "AACEncoder: no ADTS header fits a " << packet->size << "-byte frame.";
        return nullptr;
    }
    AVPacket* framed = av_packet_alloc();
    if (!framed || av_new_packet(framed, packet->size + static_cast<int>(adtsHeader.size())) < 0) {
        LOG(INFO) << "av_new_packet() failed.";
        av_packet_free(&framed);
        return nullptr;
    }
    std::memcpy(framed->data, adtsHeader.data(), adtsHeader.size());
    std::memcpy(framed->data + adtsHeader.size(), packet->data, packet->size);
    framed->pts = packet->pts;
    framed->dts = packet->dts;
    framed->stream_index = packet->stream_index;
    framed->flags = packet->flags;
    framed->duration = packet->duration;
    framed->pos = packet->pos;
    return framed;
}

bool AACEncoder::buildAdtsHeader(int payloadSize, int sampleRate, int channels)
{
    return vantor::buildAdtsHeader(adtsHeader, payloadSize, sampleRate, channels);
}

void AACEncoder::destroy()
{
    initialized = false;
    samplesSent = 0;
    swr_free(&resampler);
    av_frame_free(&frame);
    // The encoder holds back a frame or two of look-ahead; nobody wants them
    // after the cast, so it is drained quietly instead of warning at close.
    if (codecContext && packet && avcodec_send_frame(codecContext, nullptr) == 0)
        while (avcodec_receive_packet(codecContext, packet) == 0) av_packet_unref(packet);
    av_packet_free(&packet);
    avcodec_free_context(&codecContext);
}
