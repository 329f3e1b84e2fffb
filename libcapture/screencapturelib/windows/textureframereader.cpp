#include "libcapture/screencapturelib/windows/textureframereader.h"

#include <dxgi1_2.h>

#include <cstring>

#include "libcapture/screencapturelib/windows/cursordrawing.h"

using Microsoft::WRL::ComPtr;

namespace ScreenCaptureLib {

void copyMappedRows(const uint8_t* data, uint32_t rowPitch, int width, int height, uint8_t* out)
{
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int row = 0; row < height; ++row)
        std::memcpy(out + row * rowBytes, data + static_cast<size_t>(row) * rowPitch, rowBytes);
}

TextureFrameReader::TextureFrameReader() : pool_(FramePool::create()) {}

HRESULT TextureFrameReader::init(ID3D11Device* device, int width, int height)
{
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    HRESULT hr = device->CreateTexture2D(&desc, nullptr, &staging_);
    if (FAILED(hr)) return hr;

    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.CPUAccessFlags = 0;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET;
    desc.MiscFlags = D3D11_RESOURCE_MISC_GDI_COMPATIBLE;
    hr = device->CreateTexture2D(&desc, nullptr, &gdi_);
    if (FAILED(hr)) return hr;
    device->GetImmediateContext(&context_);
    width_ = width;
    height_ = height;
    return S_OK;
}

bool TextureFrameReader::read(ID3D11Texture2D* source, int originX, int originY,
                              std::shared_ptr<uint8_t>& pixels)
{
    pixels.reset();
    if (!gdi_) return false;
    context_->CopyResource(gdi_.Get(), source);

    ComPtr<IDXGISurface1> surface;
    if (FAILED(gdi_.As(&surface))) return false;
    HDC dc = nullptr;
    if (SUCCEEDED(surface->GetDC(FALSE, &dc))) {
        drawCursor(dc, originX, originY);
        surface->ReleaseDC(nullptr);
    }
    context_->CopyResource(staging_.Get(), gdi_.Get());

    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(context_->Map(staging_.Get(), 0, D3D11_MAP_READ, 0, &mapped)) || !mapped.pData)
        return true;
    pixels = pool_->acquire(static_cast<size_t>(width_) * height_ * 4);
    copyMappedRows(static_cast<const uint8_t*>(mapped.pData), mapped.RowPitch, width_, height_,
                   pixels.get());
    context_->Unmap(staging_.Get(), 0);
    return true;
}

}  // namespace ScreenCaptureLib
