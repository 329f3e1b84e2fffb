#include "tools/vantor-receiver/player/livevideoplayer.h"

#include <cstdio>
#include <string>

#include "libcapture/desktopsharing/testsources/testpatternsource.h"
#include "tools/vantor-receiver/h264nalscan.h"
#include "tools/vantor-receiver/player/h264decoder.h"
#include "tools/vantor-receiver/player/playerwindow.h"
#include "tools/vantor-receiver/player/steadyclock.h"
#include "tools/vantor-receiver/player/yuv420picture.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace vantor::receiver {

namespace {
// Two seconds of pictures at 30 fps waiting means the decoder cannot keep up.
constexpr size_t kMaxQueued = 60;
}  // namespace

LiveVideoPlayer::LiveVideoPlayer(PlayerWindow* window, int castNumber)
    : window_(window), castNumber_(castNumber)
{
}

LiveVideoPlayer::~LiveVideoPlayer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void LiveVideoPlayer::start() { thread_ = std::thread(&LiveVideoPlayer::run, this); }

void LiveVideoPlayer::push(std::vector<uint8_t> annexB, uint32_t timestampMs, int64_t receivedNs)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (skippingToKeyFrame_ || queue_.size() >= kMaxQueued) {
            if (!scanAnnexB(annexB.data(), annexB.size()).hasIdr) {
                if (!skippingToKeyFrame_)
                    std::fprintf(stderr,
                                 "video: the decoder is behind, skipping to the next "
                                 "key frame\n");
                skippingToKeyFrame_ = true;
                queue_.clear();
                return;
            }
            skippingToKeyFrame_ = false;
            queue_.clear();
        }
        queue_.push_back({std::move(annexB), timestampMs, receivedNs});
    }
    wake_.notify_one();
}

void LiveVideoPlayer::run()
{
    H264Decoder decoder;
    Yuv420Converter converter;
    std::string error;
    if (!decoder.open(&error)) {
        std::fprintf(stderr, "video: %s; nothing to show\n", error.c_str());
        return;
    }
    bool errorReported = false;
    for (;;) {
        Packet packet;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            packet = std::move(queue_.front());
            queue_.pop_front();
        }
        const bool ok = decoder.decode(
            packet.annexB.data(), packet.annexB.size(),
            [&](AVFrame* picture) {
                FrameTiming timing;
                timing.castNumber = castNumber_;
                timing.timestamp = packet.timestamp;
                timing.receivedNs = packet.receivedNs;
                timing.decodedNs = steadyNowNs();
                timing.frameNumber = decodeFrameNumber(picture->data[0], picture->width,
                                                       picture->height, picture->linesize[0], 1);
                picture = converter.convert(picture);
                if (picture) window_->show(picture, timing);
            },
            &error);
        // A damaged picture spoils the pictures up to the next key frame only.
        if (!ok && !errorReported)
            std::fprintf(stderr, "video: cannot decode a frame: %s\n", error.c_str());
        errorReported = errorReported || !ok;
    }
}

}  // namespace vantor::receiver
