#include "tests/e2e/recordinganalysis.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <cmath>

#include "libcapture/desktopsharing/testsources/testpatternsource.h"

namespace {

// Goertzel power of `frequency` against the mean power of the block.
double toneShare(const std::vector<float>& samples, int rate, double frequency)
{
    if (samples.empty() || rate <= 0) return 0;
    const double coefficient = 2 * std::cos(2 * M_PI * frequency / rate);
    double s1 = 0, s2 = 0, energy = 0;
    for (float x : samples) {
        const double s0 = x + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
        energy += double(x) * x;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    // A pure sine of N samples: power = (N A / 2)^2, energy = N A^2 / 2.
    const double n = double(samples.size());
    return energy > 0 ? (2 * power / n) / energy : 0;
}

struct Decoder {
    AVCodecContext* context = nullptr;
    ~Decoder() { avcodec_free_context(&context); }
    bool open(AVStream* stream)
    {
        const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec) return false;
        context = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(context, stream->codecpar);
        return avcodec_open2(context, codec, nullptr) == 0;
    }
};

}  // namespace

RecordingAnalysis analyseRecording(const std::string& path)
{
    RecordingAnalysis result;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0) return result;
    avformat_find_stream_info(format, nullptr);
    const int videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const int audioIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    Decoder video, audio;
    result.opened = videoIndex >= 0 && video.open(format->streams[videoIndex]);
    const bool haveAudio = audioIndex >= 0 && audio.open(format->streams[audioIndex]);

    std::vector<float> mono;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&](Decoder& decoder, bool isVideo) {
        while (avcodec_receive_frame(decoder.context, frame) == 0) {
            if (isVideo) {
                result.width = frame->width;
                result.height = frame->height;
                if (frame->key_frame) result.keyFrames.push_back(result.videoFrames);
                ++result.videoFrames;
                result.frameNumbers.push_back(decodeFrameNumber(
                    frame->data[0], frame->width, frame->height, frame->linesize[0], 1));
            } else {
                result.audioRate = frame->sample_rate;
                result.audioChannels = frame->ch_layout.nb_channels;
                if (frame->format == AV_SAMPLE_FMT_FLTP)
                    for (int i = 0; i < frame->nb_samples; ++i)
                        mono.push_back(reinterpret_cast<const float*>(frame->data[0])[i]);
            }
        }
    };
    const auto milliseconds = [&](const AVPacket* p) {
        return av_rescale_q(p->pts, format->streams[p->stream_index]->time_base, {1, 1000});
    };
    while (result.opened && av_read_frame(format, packet) == 0) {
        if (packet->stream_index == videoIndex) {
            result.videoTimestamps.push_back(milliseconds(packet));
            avcodec_send_packet(video.context, packet);
            drain(video, true);
        } else if (haveAudio && packet->stream_index == audioIndex) {
            result.audioTimestamps.push_back(milliseconds(packet));
            avcodec_send_packet(audio.context, packet);
            drain(audio, false);
        }
        av_packet_unref(packet);
    }
    if (result.opened) {
        avcodec_send_packet(video.context, nullptr);
        drain(video, true);
    }
    if (haveAudio) {
        avcodec_send_packet(audio.context, nullptr);
        drain(audio, false);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    if (result.audioRate > 0) {
        result.audioSeconds = double(mono.size()) / result.audioRate;
        // Skip the encoder's start-up and judge one steady second.
        const size_t from = std::min(mono.size(), size_t(result.audioRate / 2));
        const size_t to = std::min(mono.size(), from + size_t(result.audioRate));
        result.toneShare = toneShare(std::vector<float>(mono.begin() + from, mono.begin() + to),
                                     result.audioRate, 1000.0);
    }
    return result;
}
