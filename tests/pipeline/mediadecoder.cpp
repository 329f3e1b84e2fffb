#include "tests/pipeline/mediadecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "libcapture/desktopsharing/testsources/testpatternsource.h"

std::vector<int> nalUnitTypes(const std::vector<uint8_t>& packet)
{
    std::vector<int> types;
    for (size_t i = 0; i + 3 < packet.size(); ++i) {
        if (packet[i] == 0 && packet[i + 1] == 0 && packet[i + 2] == 1) {
            types.push_back(packet[i + 3] & 0x1F);
            i += 2;
        }
    }
    return types;
}

namespace {

template <typename OnFrame>
int decode(AVCodecID codecId, const std::vector<RecordedPacket>& packets, OnFrame onFrame)
{
    const AVCodec* codec = avcodec_find_decoder(codecId);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    int errors = 0;
    if (!codec || !context || avcodec_open2(context, codec, nullptr) < 0) {
        avcodec_free_context(&context);
        return -1;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            onFrame(frame);
            av_frame_unref(frame);
        }
    };
    for (const RecordedPacket& recorded : packets) {
        av_new_packet(packet, static_cast<int>(recorded.data.size()));
        std::copy(recorded.data.begin(), recorded.data.end(), packet->data);
        if (avcodec_send_packet(context, packet) < 0) ++errors;
        av_packet_unref(packet);
        drain();
    }
    avcodec_send_packet(context, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return errors;
}

}  // namespace

DecodedVideo decodeVideo(const std::vector<RecordedPacket>& packets)
{
    DecodedVideo video;
    video.errors = decode(AV_CODEC_ID_H264, packets, [&](AVFrame* frame) {
        video.width = frame->width;
        video.height = frame->height;
        video.frameNumbers.push_back(
            decodeFrameNumber(frame->data[0], frame->width, frame->height, frame->linesize[0], 1));
    });
    return video;
}

DecodedAudio decodeAudio(const std::vector<RecordedPacket>& packets)
{
    DecodedAudio audio;
    audio.errors = decode(AV_CODEC_ID_AAC, packets, [&](AVFrame* frame) {
        audio.sampleRate = frame->sample_rate;
        audio.channels = frame->ch_layout.nb_channels;
        if (frame->format != AV_SAMPLE_FMT_FLTP) return;
        const float* left = reinterpret_cast<const float*>(frame->data[0]);
        audio.left.insert(audio.left.end(), left, left + frame->nb_samples);
    });
    return audio;
}

int risingCrossings(const std::vector<float>& samples)
{
    int count = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1] < 0 && samples[i] >= 0) ++count;
    return count;
}
