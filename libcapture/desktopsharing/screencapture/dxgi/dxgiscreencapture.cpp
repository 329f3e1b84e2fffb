#include "libcapture/desktopsharing/screencapture/dxgi/dxgiscreencapture.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "Comm/logging.h"

using Microsoft::WRL::ComPtr;
using ScreenCaptureLib::duplicationInterrupted;
using ScreenCaptureLib::DuplicationStatus;
using ScreenCaptureLib::duplicationUnavailable;

namespace {

constexpr std::chrono::milliseconds kCapturePeriod(15);
// While the secure desktop refuses duplication, it is tried again about once a
// second (in capture passes); GDI captures meanwhile.
constexpr int kPassesBetweenRetries = 66;
// How long a frame waits for the encoder to let go of the shared texture.
constexpr DWORD kSharedTextureWaitMs = 16;

std::string hex(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
    return text;
}

}  // namespace

DXGIScreenCapture::DXGIScreenCapture() = default;

DXGIScreenCapture::~DXGIScreenCapture() { stop(); }

int DXGIScreenCapture::init(int adapterIndex)
{
    if (initialized_) return 0;

    ComPtr<IDXGIFactory> factory;
    if (FAILED(CreateDXGIFactory1(IID_PPV_ARGS(&factory)))) {
        LOG(INFO) << "[DXGIScreenCapture] Failed to create dxgi factory.\n";
        return -1;
    }
    ComPtr<IDXGIAdapter> adapter;
    if (factory->EnumAdapters(static_cast<UINT>(adapterIndex), &adapter) != S_OK || !adapter) {
        LOG(INFO) << "[DXGIScreenCapture] DXGI adapter not found.\n";
        return -1;
    }
    for (UINT i = 0; !output_; ++i)
        if (adapter->EnumOutputs(i, &output_) == DXGI_ERROR_NOT_FOUND) break;
    if (!output_) {
        LOG(INFO) << "[DXGIScreenCapture] DXGI output not found.\n";
        return -1;
    }
    // Duplication wants a device on the adapter that shows the output.
    if (FAILED(D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0, nullptr, 0,
                                 D3D11_SDK_VERSION, &device_, nullptr, &context_))) {
        LOG(INFO) << "[DXGIScreenCapture] Failed to create d3d11 device.\n";
        return -1;
    }
    ComPtr<IDXGIOutput1> output1;
    if (FAILED(output_.As(&output1))) {
        LOG(INFO) << "[DXGIScreenCapture] Failed to query interface dxgiOutput1.\n";
        return -1;
    }
    DXGI_OUTPUT_DESC outputDesc{};
    output_->GetDesc(&outputDesc);
    outputRect_ = outputDesc.DesktopCoordinates;

    const HRESULT duplicated = duplication_.open(output_.Get(), device_.Get());
    if (SUCCEEDED(duplicated)) {
        description_ = duplication_.description();
    } else {
        LOG(INFO) << "[DXGIScreenCapture] Failed to get duplicate output. 0x887a0004: "
                     "NVIDIA控制面板-->全局设置--首选图形处理器(自动选择) \n";
        if (!duplicationUnavailable(duplicated) && !duplicationInterrupted(duplicated)) return -1;
        // The cast goes on: the same output through GDI.
        LOG(INFO) << "[DXGIScreenCapture] Desktop duplication "
                  << (duplicationInterrupted(duplicated) ? "refused for now" : "unavailable")
                  << " (" << hex(duplicated) << "): capturing the output through GDI";
        gdiFallback_ = true;
        retryDuplication_ = duplicationInterrupted(duplicated);
        passesUntilRetry_ = kPassesBetweenRetries;
        description_.ModeDesc.Width = static_cast<UINT>(outputRect_.right - outputRect_.left);
        description_.ModeDesc.Height = static_cast<UINT>(outputRect_.bottom - outputRect_.top);
        if (!gdi_.init(width(), height())) return -1;
    }
    if (createSharedTexture() != 0) return -1;
    initialized_ = true;
    return 0;
}

int DXGIScreenCapture::createSharedTexture()
{
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = description_.ModeDesc.Width;
    desc.Height = description_.ModeDesc.Height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.MiscFlags = D3D11_RESOURCE_MISC_SHARED_KEYEDMUTEX;
    if (FAILED(device_->CreateTexture2D(&desc, nullptr, &sharedTexture_)) ||
        FAILED(reader_.init(device_.Get(), width(), height()))) {
        LOG(INFO) << "[DXGIScreenCapture] Failed to create texture.\n";
        return -1;
    }

    // Without the shared texture only the NVENC path misses it: it encodes the
    // CPU frames instead. Wine implements neither handle nor keyed mutex.
    ComPtr<IDXGIResource> resource;
    const char* failure = nullptr;
    if (FAILED(sharedTexture_.As(&resource)))
        failure = "[DXGIScreenCapture] Failed to query IDXGIResource interface from texture.\n";
    else if (FAILED(resource->GetSharedHandle(&sharedHandle_)) || !sharedHandle_)
        failure = "[DXGIScreenCapture] Failed to get shared handle.\n";
    else if (FAILED(sharedTexture_.As(&keyedMutex_)))
        failure = "[DXGIScreenCapture] Failed to create key mutex.\n";
    if (failure) {
        LOG(INFO) << failure;
        LOG(INFO) << "[DXGIScreenCapture] No shared texture: frames reach the encoder from memory";
        sharedHandle_ = nullptr;
        keyedMutex_.Reset();
        sharedTexture_.Reset();
    }
    return 0;
}

int DXGIScreenCapture::start()
{
    if (!initialized_) return -1;
    if (started_) return 0;
    started_ = true;
    captureFrame();
    thread_ = std::make_shared<std::thread>(&DXGIScreenCapture::captureLoop, this);
    return 0;
}

int DXGIScreenCapture::stop()
{
    started_ = false;
    if (thread_) {
        if (thread_->joinable()) thread_->join();
        thread_.reset();
    }
    return 0;
}

void DXGIScreenCapture::captureLoop()
{
    while (started_) {
        std::this_thread::sleep_until(std::chrono::steady_clock::now() + kCapturePeriod);
        captureFrame();  // failures are retried on the next pass
    }
}

int DXGIScreenCapture::captureFrame()
{
    return gdiFallback_ ? captureWithGdi() : captureDuplicated();
}

int DXGIScreenCapture::captureDuplicated()
{
    ComPtr<ID3D11Texture2D> texture;
    const DuplicationStatus status = duplication_.acquire(0, texture);
    if (status == DuplicationStatus::Lost) {
        // A mode change or desktop switch: open it again, or capture through
        // GDI until it can be opened.
        const HRESULT reopened = duplication_.open(output_.Get(), device_.Get());
        const DXGI_MODE_DESC& mode = duplication_.description().ModeDesc;
        if (FAILED(reopened) || mode.Width != description_.ModeDesc.Width ||
            mode.Height != description_.ModeDesc.Height) {
            duplication_.close();
            LOG(INFO) << "[DXGIScreenCapture] Desktop duplication lost (" << hex(reopened)
                      << "): capturing the output through GDI until it is back";
            gdiFallback_ = true;
            retryDuplication_ = !duplicationUnavailable(reopened);
            passesUntilRetry_ = kPassesBetweenRetries;
            if (!gdi_.init(width(), height())) retryDuplication_ = true;
        }
        return -1;
    }
    if (status != DuplicationStatus::Frame) return -1;

    std::lock_guard<std::mutex> lock(frameMutex_);
    frameSize_ = static_cast<uint32_t>(width() * height() * 4);
    std::shared_ptr<uint8_t> pixels;
    if (!reader_.read(texture.Get(), outputRect_.left, outputRect_.top, pixels)) return -1;
    if (pixels) frameBuffer_ = std::move(pixels);  // a failed map keeps the previous frame
    if (keyedMutex_ && keyedMutex_->AcquireSync(0, kSharedTextureWaitMs) == S_OK) {
        context_->CopyResource(sharedTexture_.Get(), reader_.staging());
        keyedMutex_->ReleaseSync(releaseKey_);
    }
    return 0;
}

int DXGIScreenCapture::captureWithGdi()
{
    if (retryDuplication_ && --passesUntilRetry_ <= 0) {
        passesUntilRetry_ = kPassesBetweenRetries;
        const HRESULT reopened = duplication_.open(output_.Get(), device_.Get());
        const DXGI_MODE_DESC& mode = duplication_.description().ModeDesc;
        if (SUCCEEDED(reopened) && mode.Width == description_.ModeDesc.Width &&
            mode.Height == description_.ModeDesc.Height) {
            LOG(INFO) << "[DXGIScreenCapture] Desktop duplication is back";
            gdiFallback_ = false;
            return captureDuplicated();
        }
        duplication_.close();
        if (duplicationUnavailable(reopened)) retryDuplication_ = false;
    }
    if (!gdi_.grabScreen(outputRect_.left, outputRect_.top)) return -1;
    gdi_.drawCursor(outputRect_.left, outputRect_.top);
    std::shared_ptr<uint8_t> pixels = gdi_.takeFrame(lastGdiFrame_, !lastGdiFrame_);
    if (!pixels) return -1;  // the desktop did not change
    lastGdiFrame_ = pixels;

    std::lock_guard<std::mutex> lock(frameMutex_);
    frameSize_ = static_cast<uint32_t>(width() * height() * 4);
    if (keyedMutex_ && keyedMutex_->AcquireSync(0, kSharedTextureWaitMs) == S_OK) {
        context_->UpdateSubresource(sharedTexture_.Get(), 0, nullptr, pixels.get(),
                                    static_cast<UINT>(width() * 4), 0);
        keyedMutex_->ReleaseSync(releaseKey_);
    }
    frameBuffer_ = std::move(pixels);
    return 0;
}

int DXGIScreenCapture::getFrame(std::shared_ptr<uint8_t>& frame, int& size)
{
    std::lock_guard<std::mutex> lock(frameMutex_);
    if (!started_ || !frameBuffer_ || frameSize_ == 0) return -1;
    frame = frameBuffer_;
    size = static_cast<int>(frameSize_);
    return 0;
}

int DXGIScreenCapture::getTextureHandle(HANDLE& handle, int& acquireKey, int& releaseKey)
{
    if (!sharedHandle_) return -1;
    handle = sharedHandle_;
    acquireKey = 1;
    releaseKey = 0;
    releaseKey_ = 1;
    return 0;
}
