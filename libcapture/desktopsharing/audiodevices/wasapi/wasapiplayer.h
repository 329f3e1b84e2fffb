// Plays a stream on the default render endpoint in shared mode (16-bit at the
// engine's rate and channels), filling the endpoint buffer from a callback on
// the render thread whenever it has room. The audio capture runs it with a
// silence callback, so the endpoint keeps playing while it is recorded.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "libcapture/desktopsharing/audiodevice.h"
#include "libcapture/desktopsharing/audiodevices/wasapi/wasapiclient.h"

class WASAPIPlayer : public AudioRenderDevice {
public:
    WASAPIPlayer();
    ~WASAPIPlayer() override;  // stops a running stream

    int init() override;  // 0, or -1 after printing why; 0 at once when initialised
    // The callback fills each (already zeroed) buffer; an empty one plays
    // silence. It runs on the render thread and must not call stop.
    int start(AudioCallback fill) override;
    int stop() override;  // 0 when not started; -1 when the stream fails to stop

    const AudioFormat* format() const { return client_.format(); }  // valid after init
    UINT32 bufferFrames() const { return client_.bufferFrames(); }

private:
    void renderLoop();

    bool initialized_ = false;
    std::atomic<bool> started_{false};
    std::mutex stateMutex_;
    std::shared_ptr<std::thread> thread_;
    AudioCallback fill_;
    WasapiClient client_;
    Microsoft::WRL::ComPtr<IAudioRenderClient> renderClient_;
};
