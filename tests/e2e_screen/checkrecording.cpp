// Checks a receiver's recording of a screen cast: the last decoded video frame
// against the reference picture (PSNR of the luma plane) and the dominant
// frequency of the decoded audio.
//   checkrecording FILE WIDTH HEIGHT MIN_PSNR_DB TONE_HZ
// Prints what it measured; exit 0 when both checks pass.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e_screen/referencepicture.h"

namespace {

struct Decoded {
    std::vector<uint8_t> lastLuma;
    int width = 0, height = 0, videoFrames = 0;
    std::vector<float> audio;  // first channel
    int sampleRate = 0;
};

AVCodecContext* openDecoder(AVStream* stream)
{
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) return nullptr;
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, stream->codecpar);
    if (avcodec_open2(context, codec, nullptr) < 0) avcodec_free_context(&context);
    return context;
}

void takeFrame(const AVFrame* frame, bool isVideo, Decoded& out)
{
    if (isVideo) {
        out.width = frame->width;
        out.height = frame->height;
        out.lastLuma.resize(static_cast<size_t>(frame->width) * frame->height);
        for (int y = 0; y < frame->height; ++y)
            std::copy_n(frame->data[0] + y * frame->linesize[0], frame->width,
                        &out.lastLuma[static_cast<size_t>(y) * frame->width]);
        ++out.videoFrames;
        return;
    }
    out.sampleRate = frame->sample_rate;
    if (frame->format == AV_SAMPLE_FMT_FLTP) {
        const float* samples = reinterpret_cast<const float*>(frame->data[0]);
        out.audio.insert(out.audio.end(), samples, samples + frame->nb_samples);
    }
}

bool decodeFile(const char* path, Decoded& out)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path, nullptr, nullptr) < 0) return false;
    avformat_find_stream_info(format, nullptr);
    int videoIndex = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    int audioIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    AVCodecContext* video = videoIndex >= 0 ? openDecoder(format->streams[videoIndex]) : nullptr;
    AVCodecContext* audio = audioIndex >= 0 ? openDecoder(format->streams[audioIndex]) : nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&](AVCodecContext* context, bool isVideo) {
        while (avcodec_receive_frame(context, frame) == 0) takeFrame(frame, isVideo, out);
    };
    while (av_read_frame(format, packet) >= 0) {
        AVCodecContext* context = packet->stream_index == videoIndex   ? video
                                  : packet->stream_index == audioIndex ? audio
                                                                       : nullptr;
        if (context && avcodec_send_packet(context, packet) == 0) drain(context, context == video);
        av_packet_unref(packet);
    }
    for (AVCodecContext* context : {video, audio}) {
        if (!context) continue;
        avcodec_send_packet(context, nullptr);
        drain(context, context == video);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    avformat_close_input(&format);
    return true;
}

std::vector<uint8_t> referenceLuma(int width, int height)
{
    std::vector<uint8_t> bgra = referencePictureBgra(width, height);
    std::vector<uint8_t> luma(static_cast<size_t>(width) * height);
    std::vector<uint8_t> u(luma.size() / 4 + width), v(luma.size() / 4 + width);
    SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height,
                                     AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr);
    const uint8_t* src[] = {bgra.data()};
    int srcStride[] = {width * 4};
    uint8_t* dst[] = {luma.data(), u.data(), v.data()};
    int dstStride[] = {width, width / 2, width / 2};
    sws_scale(sws, src, srcStride, 0, height, dst, dstStride);
    sws_freeContext(sws);
    return luma;
}

double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    double squared = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        double d = double(a[i]) - double(b[i]);
        squared += d * d;
    }
    double mse = squared / double(a.size());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Strongest frequency between 50 Hz and 5 kHz, in 1 Hz steps, over one second of audio.
double dominantFrequency(const std::vector<float>& samples, int rate)
{
    if (rate <= 0 || samples.size() < static_cast<size_t>(rate)) return 0;
    const size_t start = samples.size() - rate;  // the last second: past encoder start-up
    double best = 0, bestPower = -1;
    for (int f = 50; f <= 5000; ++f) {  // Goertzel: one recursion per sample
        const double coefficient = 2 * std::cos(2 * M_PI * f / rate);
        double s1 = 0, s2 = 0;
        for (int i = 0; i < rate; ++i) {
            double s0 = samples[start + i] + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
        if (power > bestPower) bestPower = power, best = f;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s FILE WIDTH HEIGHT MIN_PSNR_DB TONE_HZ\n", argv[0]);
        return 64;
    }
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    const double minPsnr = std::atof(argv[4]), toneHz = std::atof(argv[5]);
    Decoded decoded;
    if (!decodeFile(argv[1], decoded)) {
        std::printf("cannot open %s\n", argv[1]);
        return 1;
    }
    bool ok = true;
    std::printf("video frames %d, last %dx%d\n", decoded.videoFrames, decoded.width,
                decoded.height);
    if (decoded.width != width || decoded.height != height) {
        std::printf("FAIL: expected %dx%d\n", width, height);
        ok = false;
    } else {
        double db = psnr(decoded.lastLuma, referenceLuma(width, height));
        std::printf("luma PSNR %.2f dB (need %.1f)\n", db, minPsnr);
        ok = ok && db >= minPsnr;
    }
    double frequency = dominantFrequency(decoded.audio, decoded.sampleRate);
    std::printf("audio %zu samples at %d Hz, dominant %.0f Hz (need %.0f)\n", decoded.audio.size(),
                decoded.sampleRate, frequency, toneHz);
    ok = ok && std::fabs(frequency - toneHz) <= 10;
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
