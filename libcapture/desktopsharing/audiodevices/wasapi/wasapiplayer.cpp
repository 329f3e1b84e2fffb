#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiplayer.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "libcapture/desktopsharing/audiodevices/wasapi/audiothreadpriority.h"

namespace {

void report(const char* message)
{
    std::printf("%s", message);
    std::fflush(stdout);
}

}  // namespace

WASAPIPlayer::WASAPIPlayer() : client_("[WASAPIPlayer]") {}

WASAPIPlayer::~WASAPIPlayer() { stop(); }

int WASAPIPlayer::init()
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (initialized_) return 0;
    if (client_.open(AudioEndpoint{}, 0) != 0 || client_.service(renderClient_) != 0) return -1;
    initialized_ = true;
    return 0;
}

int WASAPIPlayer::start(AudioCallback fill)
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!initialized_) return -1;
    if (started_) return 0;
    fill_ = std::move(fill);
    if (FAILED(client_.client()->Start())) {
        report("[WASAPIPlayer] Failed to start audio client.\n");
        return -1;
    }
    started_ = true;
    thread_ = std::make_shared<std::thread>(&WASAPIPlayer::renderLoop, this);
    return 0;
}

int WASAPIPlayer::stop()
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!started_) return 0;
    started_ = false;
    if (thread_ && thread_->joinable()) thread_->join();
    thread_.reset();
    if (FAILED(client_.client()->Stop())) {
        report("[WASAPIPlayer] Failed to stop audio client.\n");
        return -1;
    }
    return 0;
}

void WASAPIPlayer::renderLoop()
{
    AudioThreadPriority priority;
    const UINT32 bufferFrames = client_.bufferFrames();
    const UINT32 blockAlign = client_.waveFormat()->nBlockAlign;
    while (started_) {
        UINT32 padding = 0;
        if (FAILED(client_.client()->GetCurrentPadding(&padding))) {
            report("[WASAPIPlayer] Failed to get current padding.\n");
            break;
        }
        if (padding >= bufferFrames) {
            // Full: up to a second is queued ahead, so a 1 ms poll is plenty.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        const UINT32 frames = bufferFrames - padding;
        BYTE* buffer = nullptr;
        if (FAILED(renderClient_->GetBuffer(frames, &buffer))) {
            report("[WASAPIPlayer] Audio render client failed to get buffer.\n");
            break;
        }
        DWORD flags = 0;
        if (fill_) {
            std::memset(buffer, 0, static_cast<size_t>(frames) * blockAlign);
            fill_(client_.format(), buffer, frames);
        } else {
            flags = AUDCLNT_BUFFERFLAGS_SILENT;  // nothing to play: silence
        }
        if (FAILED(renderClient_->ReleaseBuffer(frames, flags))) {
            report("[WASAPIPlayer] Audio render client failed to release buffer.\n");
            break;
        }
    }
}
