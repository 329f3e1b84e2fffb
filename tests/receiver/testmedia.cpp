#include "tests/receiver/testmedia.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace vantor::receiver::test {

namespace {

void drain(AVCodecContext* context, AVPacket* packet, std::vector<Bytes>* out)
{
    while (avcodec_receive_packet(context, packet) == 0) {
        out->emplace_back(packet->data, packet->data + packet->size);
        av_packet_unref(packet);
    }
}

std::vector<Bytes> encodeVideo(int frames)
{
    std::vector<Bytes> out;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return out;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = 64;
    context->height = 64;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = {1, 25};
    context->gop_size = 5;
    av_opt_set(context->priv_data, "preset", "ultrafast", 0);
    av_opt_set(context->priv_data, "tune", "zerolatency", 0);
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return out;
    }
    AVFrame* frame = av_frame_alloc();
    frame->format = context->pix_fmt;
    frame->width = context->width;
    frame->height = context->height;
    av_frame_get_buffer(frame, 0);
    AVPacket* packet = av_packet_alloc();
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(frame);
        for (int plane = 0; plane < 3; ++plane) {
            const int h = plane == 0 ? 64 : 32;
            for (int y = 0; y < h; ++y)
                std::memset(frame->data[plane] + y * frame->linesize[plane], (i * 20 + y) & 0xFF,
                            plane == 0 ? 64 : 32);
        }
        frame->pts = i;
        avcodec_send_frame(context, frame);
        drain(context, packet, &out);
    }
    avcodec_send_frame(context, nullptr);
    drain(context, packet, &out);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return out;
}

std::vector<Bytes> encodeAudio(int frames)
{
    std::vector<Bytes> out;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) return out;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 48000;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&context->ch_layout, 2);
    context->bit_rate = 64000;
    if (avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return out;
    }
    AVFrame* frame = av_frame_alloc();
    frame->format = context->sample_fmt;
    frame->nb_samples = context->frame_size;
    av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
    av_frame_get_buffer(frame, 0);
    AVPacket* packet = av_packet_alloc();
    std::vector<Bytes> raw;
    for (int i = 0; i < frames; ++i) {
        av_frame_make_writable(frame);
        for (int ch = 0; ch < 2; ++ch) {
            float* samples = reinterpret_cast<float*>(frame->data[ch]);
            for (int s = 0; s < frame->nb_samples; ++s)
                samples[s] = 0.3f * std::sin((i * frame->nb_samples + s) * 2 * M_PI * 440 / 48000);
        }
        frame->pts = int64_t(i) * frame->nb_samples;
        avcodec_send_frame(context, frame);
        drain(context, packet, &raw);
    }
    avcodec_send_frame(context, nullptr);
    drain(context, packet, &raw);
    for (Bytes& payload : raw) {
        Bytes framed = adtsHeader(payload.size(), 48000, 2);
        append(framed, payload);
        out.push_back(std::move(framed));
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return out;
}

void putBigEndian32(Bytes& to, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) to.push_back(uint8_t(value >> shift));
}

}  // namespace

TestStream encodeTestStream(int videoFrames, int audioFrames)
{
    av_log_set_level(AV_LOG_ERROR);
    TestStream stream;
    std::vector<Bytes> video = encodeVideo(videoFrames);
    for (size_t i = 0; i < video.size(); ++i)
        stream.video.push_back({std::move(video[i]), uint32_t(1000 + i * 40)});
    std::vector<Bytes> audio = encodeAudio(audioFrames);
    for (size_t i = 0; i < audio.size(); ++i)
        stream.audio.push_back({std::move(audio[i]), uint32_t(1000 + i * 1024 * 1000 / 48000)});
    return stream;
}

Bytes adtsHeader(size_t payloadSize, int sampleRate, int channels)
{
    static const int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                 22050, 16000, 12000, 11025, 8000,  7350};
    int index = 0;
    while (index < 12 && kRates[index] != sampleRate) ++index;
    const size_t length = payloadSize + 7;
    return {0xFF,
            0xF1,
            uint8_t(0x40 | (index << 2) | (channels >> 2)),
            uint8_t(((channels & 3) << 6) | ((length >> 11) & 3)),
            uint8_t((length >> 3) & 0xFF),
            uint8_t(((length & 7) << 5) | 0x1F),
            0xFC};
}

Bytes mediaFrame(const Bytes& payload, uint32_t timestamp)
{
    Bytes out;
    putBigEndian32(out, uint32_t(payload.size()));
    putBigEndian32(out, timestamp);
    append(out, payload);
    return out;
}

Bytes audioStreamHeader(uint32_t channels, uint32_t sampleRate, uint32_t marker)
{
    Bytes out;
    for (uint32_t value : {marker, channels, sampleRate, 0u, 0u}) putBigEndian32(out, value);
    return out;
}

void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

MediaFileCounts inspectMediaFile(const std::string& path)
{
    MediaFileCounts counts;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return counts;
    if (avformat_find_stream_info(format, nullptr) < 0) {
        avformat_close_input(&format);
        return counts;
    }
    counts.opened = true;
    const int videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audioIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* decoder = nullptr;
    if (videoIndex >= 0) {
        const AVCodecParameters* par = format->streams[videoIndex]->codecpar;
        counts.width = par->width;
        counts.height = par->height;
        decoder = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
        avcodec_parameters_to_context(decoder, par);
        if (avcodec_open2(decoder, decoder->codec, nullptr) < 0) avcodec_free_context(&decoder);
    }
    if (audioIndex >= 0) {
        counts.sampleRate = format->streams[audioIndex]->codecpar->sample_rate;
        counts.channels = format->streams[audioIndex]->codecpar->ch_layout.nb_channels;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto receiveAll = [&] {
        while (decoder && avcodec_receive_frame(decoder, frame) == 0) ++counts.decodedVideoFrames;
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == videoIndex) {
            ++counts.videoPackets;
            if (decoder && avcodec_send_packet(decoder, packet) == 0) receiveAll();
        } else if (packet->stream_index == audioIndex) {
            ++counts.audioPackets;
        }
        av_packet_unref(packet);
    }
    if (decoder) {
        avcodec_send_packet(decoder, nullptr);
        receiveAll();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return counts;
}

}  // namespace vantor::receiver::test
