#include "libcapture/screencapturelib/windows/duplicationgrabber.h"

#include "Comm/logging.h"

using Microsoft::WRL::ComPtr;

namespace ScreenCaptureLib {
namespace {

// How long one grab waits for the desktop to change.
constexpr UINT kAcquireTimeoutMs = 100;

}  // namespace

HRESULT DuplicationGrabber::open()
{
    if (!findOutput(monitor_, output_)) return DXGI_ERROR_UNSUPPORTED;
    HRESULT hr = createDevice(output_.adapter.Get(), device_, context_);
    if (FAILED(hr)) return hr;
    hr = duplication_.open(output_.output.Get(), device_.Get());
    if (FAILED(hr)) return hr;
    const DXGI_MODE_DESC& mode = duplication_.description().ModeDesc;
    if (static_cast<int>(mode.Width) != monitor_.width ||
        static_cast<int>(mode.Height) != monitor_.height)
        return DXGI_ERROR_ACCESS_LOST;  // a mode change under way
    hr = reader_.init(device_.Get(), monitor_.width, monitor_.height);
    if (FAILED(hr)) LOG(INFO) << "init lGDIImage error \n";
    return hr;
}

GrabResult DuplicationGrabber::grab(bool force, std::shared_ptr<uint8_t>& pixels)
{
    ComPtr<ID3D11Texture2D> texture;
    switch (duplication_.acquire(kAcquireTimeoutMs, texture)) {
        case DuplicationStatus::Frame:
            break;
        case DuplicationStatus::NoChange:
            if (!force || !last_) return GrabResult::Unchanged;
            pixels = last_;
            return GrabResult::Frame;
        case DuplicationStatus::Lost:
            return GrabResult::ExpectedError;
        case DuplicationStatus::Failed:
            return GrabResult::UnexpectedError;
    }
    std::shared_ptr<uint8_t> frame;
    if (!reader_.read(texture.Get(), monitor_.x, monitor_.y, frame) || !frame)
        return GrabResult::Unchanged;  // this frame is lost; the next may do
    last_ = frame;
    pixels = std::move(frame);
    return GrabResult::Frame;
}

}  // namespace ScreenCaptureLib
