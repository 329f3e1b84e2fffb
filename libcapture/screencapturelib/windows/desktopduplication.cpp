#include "libcapture/screencapturelib/windows/desktopduplication.h"

using Microsoft::WRL::ComPtr;

namespace ScreenCaptureLib {

bool duplicationUnavailable(HRESULT result)
{
    return result == E_NOTIMPL || result == DXGI_ERROR_UNSUPPORTED;
}

bool duplicationInterrupted(HRESULT result)
{
    return result == E_ACCESSDENIED || result == DXGI_ERROR_ACCESS_LOST ||
           result == DXGI_ERROR_SESSION_DISCONNECTED;
}

DesktopDuplication::~DesktopDuplication() { releaseFrame(); }

HRESULT DesktopDuplication::open(IDXGIOutput* output, ID3D11Device* device)
{
    close();
    ComPtr<IDXGIOutput1> output1;
    HRESULT hr = output->QueryInterface(IID_PPV_ARGS(&output1));
    if (FAILED(hr)) return hr;
    hr = output1->DuplicateOutput(device, &duplication_);
    if (FAILED(hr)) return hr;
    duplication_->GetDesc(&description_);
    return S_OK;
}

void DesktopDuplication::close()
{
    releaseFrame();
    duplication_.Reset();
    description_ = DXGI_OUTDUPL_DESC{};
}

void DesktopDuplication::releaseFrame()
{
    // The frame is held until here so that the GPU copy made from it is
    // never raced by the compositor.
    if (duplication_ && holdsFrame_) duplication_->ReleaseFrame();
    holdsFrame_ = false;
}

DuplicationStatus DesktopDuplication::acquire(UINT timeoutMs, ComPtr<ID3D11Texture2D>& texture)
{
    texture.Reset();
    if (!duplication_) return DuplicationStatus::Failed;
    releaseFrame();
    DXGI_OUTDUPL_FRAME_INFO info{};
    ComPtr<IDXGIResource> resource;
    const HRESULT hr = duplication_->AcquireNextFrame(timeoutMs, &info, &resource);
    if (hr == DXGI_ERROR_WAIT_TIMEOUT) return DuplicationStatus::NoChange;
    if (duplicationInterrupted(hr)) return DuplicationStatus::Lost;
    if (FAILED(hr)) return DuplicationStatus::Failed;
    holdsFrame_ = true;
    if (!resource || FAILED(resource.As(&texture))) return DuplicationStatus::Failed;
    return DuplicationStatus::Frame;
}

}  // namespace ScreenCaptureLib
