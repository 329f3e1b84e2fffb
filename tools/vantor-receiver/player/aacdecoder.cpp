#include "tools/vantor-receiver/player/aacdecoder.h"

#include <cstring>

#include "tools/vantor-receiver/player/averror.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace vantor::receiver {

AacDecoder::~AacDecoder()
{
    swr_free(&resampler_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&context_);
}

bool AacDecoder::open(std::string* error)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    if (!codec) {
        *error = "no AAC decoder in libavcodec";
        return false;
    }
    context_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!context_ || !packet_ || !frame_) {
        *error = "out of memory";
        return false;
    }
    // Without extradata the decoder reads the stream's parameters from each ADTS header.
    const int rc = avcodec_open2(context_, codec, nullptr);
    if (rc < 0) {
        *error = "cannot open the AAC decoder: " + averrorText(rc);
        return false;
    }
    return true;
}

bool AacDecoder::decode(const uint8_t* adts, size_t size, DecodedSound* sound, std::string* error)
{
    sound->frames = 0;
    sound->samples.clear();
    av_packet_unref(packet_);
    if (av_new_packet(packet_, int(size)) < 0) {
        *error = "out of memory";
        return false;
    }
    std::memcpy(packet_->data, adts, size);
    int rc = avcodec_send_packet(context_, packet_);
    if (rc < 0) {
        *error = averrorText(rc);
        return false;
    }
    // One ADTS frame holds one AAC frame: at most one block of samples comes out.
    rc = avcodec_receive_frame(context_, frame_);
    if (rc == AVERROR(EAGAIN)) return true;
    if (rc < 0) {
        *error = averrorText(rc);
        return false;
    }
    const bool ok = convert(sound, error);
    av_frame_unref(frame_);
    return ok;
}

bool AacDecoder::convert(DecodedSound* sound, std::string* error)
{
    const int channels = frame_->ch_layout.nb_channels;
    if (!resampler_ || resamplerFormat_ != frame_->format ||
        resamplerRate_ != frame_->sample_rate || resamplerChannels_ != channels) {
        swr_free(&resampler_);
        AVChannelLayout layout;
        av_channel_layout_default(&layout, channels);
        int rc = swr_alloc_set_opts2(&resampler_, &layout, AV_SAMPLE_FMT_S16, frame_->sample_rate,
                                     &frame_->ch_layout, AVSampleFormat(frame_->format),
                                     frame_->sample_rate, 0, nullptr);
        if (rc >= 0) rc = swr_init(resampler_);
        av_channel_layout_uninit(&layout);
        if (rc < 0) {
            swr_free(&resampler_);
            *error = "cannot convert the decoded sound: " + averrorText(rc);
            return false;
        }
        resamplerFormat_ = frame_->format;
        resamplerRate_ = frame_->sample_rate;
        resamplerChannels_ = channels;
    }
    sound->channels = channels;
    sound->sampleRate = frame_->sample_rate;
    sound->samples.resize(size_t(frame_->nb_samples) * channels);
    uint8_t* out = reinterpret_cast<uint8_t*>(sound->samples.data());
    const int frames =
        swr_convert(resampler_, &out, frame_->nb_samples,
                    const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
    if (frames < 0) {
        *error = "cannot convert the decoded sound: " + averrorText(frames);
        return false;
    }
    sound->frames = frames;
    sound->samples.resize(size_t(frames) * channels);
    return true;
}

}  // namespace vantor::receiver
