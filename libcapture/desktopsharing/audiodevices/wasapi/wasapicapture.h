// Records what the PC plays: the default render endpoint in shared-mode
// loopback, as 16-bit PCM at the engine's own rate and channel count. Every
// packet reaches the callback on the capture thread, which polls the engine
// every millisecond.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "libcapture/desktopsharing/audiodevice.h"
#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiclient.h"

class WASAPICapture : public AudioCaptureDevice {
public:
    // The product records the default render endpoint; see AudioEndpoint.
    explicit WASAPICapture(AudioEndpoint endpoint = {});
    ~WASAPICapture() override;  // stops a running capture

    int init() override;  // 0, or -1 after printing why; 0 at once when initialised
    const AudioFormat* mixFormat() const override { return client_.format(); }
    const WAVEFORMATEX* waveFormat() const { return client_.waveFormat(); }
    // Allowed at any time; never replaces the callback in the middle of a call.
    void setCallback(AudioCallback callback) override;
    int start() override;  // -1 before init; 0 when already started
    int stop() override;   // 0 when not started; -1 when the stream fails to stop

private:
    void captureLoop();
    bool drainPackets();  // false after printing why the loop ends
    void deliver(const BYTE* data, UINT32 frames, DWORD flags);

    AudioEndpoint endpoint_;
    bool initialized_ = false;
    std::atomic<bool> started_{false};
    std::mutex stateMutex_;
    std::mutex callbackMutex_;
    std::shared_ptr<std::thread> thread_;
    AudioCallback callback_;
    // The copy handed to the callback; grows when a packet is larger.
    std::shared_ptr<uint8_t> packet_;
    uint32_t packetSize_ = 0;
    // COM objects: the client's first, ours after it (released in reverse).
    WasapiClient client_;
    Microsoft::WRL::ComPtr<IAudioCaptureClient> captureClient_;
};
