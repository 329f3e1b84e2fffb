// Captures the first output of one adapter by DXGI desktop duplication, draws
// the cursor in and publishes each frame twice: as a CPU-side BGRA buffer and
// as a copy in a texture shared across devices behind a keyed mutex (for the
// NVENC encoder). Where the system offers no duplication (Wine, remote and
// basic display drivers), or refuses it for a while (the secure desktop, a
// mode change), the same output is captured through GDI instead.
#pragma once

#include <d3d11.h>
#include <dxgi1_2.h>
#include <wrl/client.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "libcapture/screencapturelib/windows/desktopduplication.h"
#include "libcapture/screencapturelib/windows/gdigrabber.h"
#include "libcapture/screencapturelib/windows/textureframereader.h"

class DXGIScreenCapture {
public:
    DXGIScreenCapture();
    virtual ~DXGIScreenCapture();
    DXGIScreenCapture(const DXGIScreenCapture&) = delete;
    DXGIScreenCapture& operator=(const DXGIScreenCapture&) = delete;

    // Once per object: later calls return 0 without any work. -1 after a log line.
    int init(int adapterIndex);
    int start();  // -1 before init; 0 when already started
    int stop();   // joins the capture thread; never call it from that thread
    bool isStarted() const { return started_; }

    // Frame size in pixels (the duplicated mode, or the output's for GDI).
    int width() const { return static_cast<int>(description_.ModeDesc.Width); }
    int height() const { return static_cast<int>(description_.ModeDesc.Height); }
    // True while frames come from GDI instead of desktop duplication.
    bool capturesThroughGdi() const { return gdiFallback_; }

    // Captures and publishes one frame: 0 when one was processed, -1 when none
    // was available or a step failed.
    int captureFrame();
    // 0 and the current frame (also when no new one came since the last call)
    // while started; -1 and nothing touched otherwise.
    int getFrame(std::shared_ptr<uint8_t>& frame, int& size);
    // The shared texture's handle, acquire key 1 and release key 0 for the
    // consumer; from the first call on the capture releases with key 1. -1 when
    // there is no shared texture.
    int getTextureHandle(HANDLE& handle, int& acquireKey, int& releaseKey);

private:
    int createSharedTexture();
    int captureDuplicated();
    int captureWithGdi();
    void captureLoop();

    bool initialized_ = false;
    std::atomic<bool> started_{false};
    std::mutex frameMutex_;
    std::shared_ptr<std::thread> thread_;
    std::shared_ptr<uint8_t> frameBuffer_;
    uint32_t frameSize_ = 0;
    DXGI_OUTDUPL_DESC description_{};
    HANDLE sharedHandle_ = nullptr;
    std::atomic<uint32_t> releaseKey_{0};

    // COM objects, in order of creation (released in reverse).
    Microsoft::WRL::ComPtr<ID3D11Device> device_;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
    Microsoft::WRL::ComPtr<IDXGIOutput> output_;
    ScreenCaptureLib::DesktopDuplication duplication_;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> sharedTexture_;
    ScreenCaptureLib::TextureFrameReader reader_;  // staging and GDI textures
    Microsoft::WRL::ComPtr<IDXGIKeyedMutex> keyedMutex_;

    // GDI capture of the same output while duplication is unavailable.
    std::atomic<bool> gdiFallback_{false};
    bool retryDuplication_ = false;  // refused for a while, not unavailable
    int passesUntilRetry_ = 0;
    RECT outputRect_{};
    ScreenCaptureLib::GdiGrabber gdi_;
    std::shared_ptr<uint8_t> lastGdiFrame_;
};
