#include "libcapture/desktopsharing/audiodevices/wasapi/wasapicapture.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "libcapture/desktopsharing/audiodevices/wasapi/audiothreadpriority.h"

namespace {

// Pre-allocated so that steady capture allocates nothing.
constexpr uint32_t kInitialPacketBytes = 6144000;

std::shared_ptr<uint8_t> allocate(uint32_t bytes)
{
    return std::shared_ptr<uint8_t>(new uint8_t[bytes], std::default_delete<uint8_t[]>());
}

void report(const char* message)
{
    std::printf("%s", message);
    std::fflush(stdout);
}

}  // namespace

WASAPICapture::WASAPICapture(AudioEndpoint endpoint)
    : endpoint_(std::move(endpoint)),
      packet_(allocate(kInitialPacketBytes)),
      packetSize_(kInitialPacketBytes),
      client_("[WASAPICapture]")
{
}

WASAPICapture::~WASAPICapture() { stop(); }

int WASAPICapture::init()
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (initialized_) return 0;
    const DWORD flags = endpoint_.isDefaultRender() ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0;
    if (client_.open(endpoint_, flags) != 0 || client_.service(captureClient_) != 0) return -1;
    initialized_ = true;
    return 0;
}

void WASAPICapture::setCallback(AudioCallback callback)
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback_ = std::move(callback);
}

int WASAPICapture::start()
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!initialized_) return -1;
    if (started_) return 0;
    if (FAILED(client_.client()->Start())) {
        report("[WASAPICapture] Failed to start audio client.\n");
        return -1;
    }
    started_ = true;
    thread_ = std::make_shared<std::thread>(&WASAPICapture::captureLoop, this);
    return 0;
}

int WASAPICapture::stop()
{
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (!started_) return 0;
    started_ = false;
    if (thread_ && thread_->joinable()) thread_->join();
    thread_.reset();
    if (FAILED(client_.client()->Stop())) {
        report("[WASAPICapture] Failed to stop audio client.\n");
        return -1;
    }
    return 0;
}

void WASAPICapture::captureLoop()
{
    AudioThreadPriority priority;
    while (started_) {
        UINT32 packetFrames = 0;
        if (FAILED(captureClient_->GetNextPacketSize(&packetFrames))) {
            report("[WASAPICapture] Faild to get next data packet size.\n");
            return;
        }
        if (packetFrames == 0) {
            // No event handle: a 1 ms poll adds about 1 ms to the engine's period.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (!drainPackets()) return;
    }
}

bool WASAPICapture::drainPackets()
{
    // Every queued packet, without looking at started_ between them.
    UINT32 packetFrames = 0;
    do {
        BYTE* data = nullptr;
        UINT32 frames = 0;
        DWORD flags = 0;
        if (FAILED(captureClient_->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) {
            report("[WASAPICapture] Faild to get buffer.\n");
            return false;
        }
        deliver(data, frames, flags);
        if (FAILED(captureClient_->ReleaseBuffer(frames))) {
            report("[WASAPICapture] Faild to release buffer.\n");
            return false;
        }
        if (FAILED(captureClient_->GetNextPacketSize(&packetFrames))) {
            report("[WASAPICapture] Faild to get next data packet size.\n");
            return false;
        }
    } while (packetFrames != 0);
    return true;
}

void WASAPICapture::deliver(const BYTE* data, UINT32 frames, DWORD flags)
{
    const uint32_t bytes = frames * client_.waveFormat()->nBlockAlign;
    if (packetSize_ < bytes) {
        packet_ = allocate(bytes);
        packetSize_ = bytes;
    }
    // The callback sees zeros of the packet's length; the rest of the copy is
    // not its business.
    if (flags & AUDCLNT_BUFFERFLAGS_SILENT)
        std::memset(packet_.get(), 0, bytes);
    else
        std::memcpy(packet_.get(), data, bytes);
    std::lock_guard<std::mutex> lock(callbackMutex_);
    if (callback_) callback_(client_.format(), packet_.get(), frames);
}
