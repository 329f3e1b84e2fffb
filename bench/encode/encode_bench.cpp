// Encodes a moving synthetic desktop through H264Encoder at 1920x1080 and prints the
// figures bench/encode.sh compares with the ffmpeg command line, as "key=value" lines.
// Usage: bench_encode [--frames N] [--write FILE]
//   --write FILE  also stores the raw BGRA frames there, for ffmpeg to read.
#include <libyuv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "Comm/logging.h"
#include "bench/encode/desktoppicture.h"
#include "libcapture/desktopsharing/h264encoder.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kBitRate = 4000000;
constexpr int kFrameRate = 25;
constexpr int kGop = 25;

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the whole process (all threads), which a loaded machine distorts less
// than the wall clock.
double processCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

double threadCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
    return values[index];
}

bool writeFrames(const std::string& path, int frames)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> picture;
    bool written = true;
    for (int i = 0; i < frames && written; ++i) {
        drawDesktopPicture(picture, kWidth, kHeight, i);
        written = std::fwrite(picture.data(), 1, picture.size(), file) == picture.size();
    }
    return std::fclose(file) == 0 && written;
}

bool benchmarkEncoder(int frames)
{
    H264Encoder& encoder = H264Encoder::instance();
    if (!encoder.init(kWidth, kHeight, kBitRate, kFrameRate, kGop)) {
        std::fprintf(stderr, "H264Encoder::init failed\n");
        return false;
    }
    std::vector<uint8_t> picture;
    std::vector<double> times;
    int64_t bytes = 0;
    int packets = 0;
    double cpu = 0;
    for (int i = 0; i < frames; ++i) {
        drawDesktopPicture(picture, kWidth, kHeight, i);
        const double cpuStart = processCpuMilliseconds();
        const auto start = Clock::now();
        AVPacket* packet = encoder.encodeVideo(picture.data(), kWidth, kHeight, 0);
        times.push_back(millisecondsSince(start));
        cpu += processCpuMilliseconds() - cpuStart;
        if (packet) {
            bytes += packet->size;
            ++packets;
        }
    }
    encoder.destroy();

    double total = 0;
    for (double t : times) total += t;
    std::printf("frames=%d\npackets=%d\n", frames, packets);
    std::printf("encoder_fps=%.1f\n", frames * 1000.0 / total);
    std::printf("encoder_cpu_fps=%.1f\n", frames * 1000.0 / cpu);
    std::printf("encode_ms_p50=%.2f\nencode_ms_p95=%.2f\n", percentile(times, 0.50),
                percentile(times, 0.95));
    std::printf("bitrate_kbps=%.0f\n", bytes * 8.0 * kFrameRate / frames / 1000.0);
    return packets == frames;
}

// BGRA 1920x1080 -> I420 at the same size: libyuv against swscale (bicubic), in CPU
// time of this thread (both run single-threaded).
bool benchmarkConversion(int rounds)
{
    std::vector<uint8_t> picture;
    drawDesktopPicture(picture, kWidth, kHeight, 0);
    AVFrame* yuv = av_frame_alloc();
    yuv->format = AV_PIX_FMT_YUV420P;
    yuv->width = kWidth;
    yuv->height = kHeight;
    SwsContext* scaler = sws_getContext(kWidth, kHeight, AV_PIX_FMT_BGRA, kWidth, kHeight,
                                        AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (av_frame_get_buffer(yuv, 32) < 0 || !scaler) {
        av_frame_free(&yuv);
        sws_freeContext(scaler);
        return false;
    }

    std::vector<double> libyuvTimes, swscaleTimes;
    const uint8_t* planes[1] = {picture.data()};
    const int strides[1] = {kWidth * 4};
    for (int i = 0; i < rounds; ++i) {
        double start = threadCpuMilliseconds();
        libyuv::ARGBToI420(picture.data(), kWidth * 4, yuv->data[0], yuv->linesize[0], yuv->data[1],
                           yuv->linesize[1], yuv->data[2], yuv->linesize[2], kWidth, kHeight);
        libyuvTimes.push_back(threadCpuMilliseconds() - start);
        start = threadCpuMilliseconds();
        sws_scale(scaler, planes, strides, 0, kHeight, yuv->data, yuv->linesize);
        swscaleTimes.push_back(threadCpuMilliseconds() - start);
    }
    sws_freeContext(scaler);
    av_frame_free(&yuv);

    std::printf("libyuv_convert_ms_p50=%.2f\n", percentile(libyuvTimes, 0.5));
    std::printf("swscale_convert_ms_p50=%.2f\n", percentile(swscaleTimes, 0.5));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    vantor::initLogging(false);
    av_log_set_level(AV_LOG_ERROR);

    int frames = 300;
    std::string rawPath;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--frames") && i + 1 < argc) {
            frames = std::max(1, std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--write") && i + 1 < argc) {
            rawPath = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--frames N] [--write FILE]\n", argv[0]);
            return 2;
        }
    }
    if (!rawPath.empty() && !writeFrames(rawPath, frames)) {
        return 1;
    }
    const bool encoded = benchmarkEncoder(frames);
    const bool converted = benchmarkConversion(100);
    return encoded && converted ? 0 : 1;
}
