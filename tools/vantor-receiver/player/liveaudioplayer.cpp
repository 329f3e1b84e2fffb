#include "tools/vantor-receiver/player/liveaudioplayer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "tools/vantor-receiver/player/aacdecoder.h"
#include "tools/vantor-receiver/player/pulseoutput.h"
#include "tools/vantor-receiver/player/steadyclock.h"
#include "tools/vantor-receiver/player/streamclock.h"

namespace vantor::receiver {

namespace {
constexpr int64_t kMs = 1000000;
// Sound heard up to this long after its picture still passes as together with it
// (people notice sound that lags its picture from about 125 ms on). It must stay
// well above the output buffer, or the sound would be dropped in the steady state.
constexpr int64_t kLateToleranceNs = 100 * kMs;
// Sound this much ahead of its picture waits for it.
constexpr int64_t kEarlyToleranceNs = 10 * kMs;
// Pictures that stopped coming must not hold the sound back for ever.
constexpr int64_t kMaxWaitNs = 300 * kMs;
// About five seconds of AAC frames; beyond that the oldest go.
constexpr size_t kMaxQueued = 250;
}  // namespace

LiveAudioPlayer::LiveAudioPlayer(const StreamClock* clock) : clock_(clock) {}

LiveAudioPlayer::~LiveAudioPlayer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void LiveAudioPlayer::start() { thread_ = std::thread(&LiveAudioPlayer::run, this); }

void LiveAudioPlayer::push(std::vector<uint8_t> adts, uint32_t timestampMs)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.size() >= kMaxQueued) queue_.pop_front();
        queue_.push_back({std::move(adts), timestampMs});
    }
    wake_.notify_one();
}

bool LiveAudioPlayer::sleepUnlessStopped(int64_t ns)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::nanoseconds(ns), [this] { return stopping_; });
}

bool LiveAudioPlayer::waitForItsPicture(uint32_t timestampMs, const PulseOutput& output)
{
    int64_t due = 0;
    if (!clock_->dueTime(timestampMs, &due)) return true;  // no picture yet: play as it comes
    const int64_t heardAt = steadyNowNs() + output.latencyNs();
    const int64_t lateBy = heardAt - due;
    if (lateBy > kLateToleranceNs) return false;
    if (lateBy < -kEarlyToleranceNs) sleepUnlessStopped(std::min(-lateBy, kMaxWaitNs));
    return true;
}

void LiveAudioPlayer::run()
{
    AacDecoder decoder;
    PulseOutput output;
    std::string error;
    if (!decoder.open(&error)) {
        std::fprintf(stderr, "sound: %s; showing the picture only\n", error.c_str());
        return;
    }
    bool outputFailed = false, decodeErrorReported = false;
    DecodedSound sound;
    for (;;) {
        Packet packet;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            packet = std::move(queue_.front());
            queue_.pop_front();
        }
        if (outputFailed) continue;
        if (!decoder.decode(packet.adts.data(), packet.adts.size(), &sound, &error)) {
            if (!decodeErrorReported)
                std::fprintf(stderr, "sound: cannot decode a frame: %s\n", error.c_str());
            decodeErrorReported = true;
            continue;
        }
        if (sound.frames == 0) continue;
        if (!output.isOpen() || output.sampleRate() != sound.sampleRate ||
            output.channels() != sound.channels) {
            if (!output.open(sound.sampleRate, sound.channels, kBufferMs, &error)) {
                std::fprintf(stderr, "sound: %s; showing the picture only\n", error.c_str());
                outputFailed = true;
                continue;
            }
            std::fprintf(stderr, "sound: playing %d channels at %d Hz\n", sound.channels,
                         sound.sampleRate);
        }
        if (!waitForItsPicture(packet.timestamp, output)) {
            ++droppedLate_;
            continue;
        }
        if (!output.write(sound.samples.data(), sound.frames, &error)) {
            std::fprintf(stderr, "sound: the sound server failed: %s; showing the picture only\n",
                         error.c_str());
            output.close();
            outputFailed = true;
            continue;
        }
        ++played_;
    }
}

}  // namespace vantor::receiver
