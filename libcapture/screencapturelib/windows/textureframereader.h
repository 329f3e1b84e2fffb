// Turns a desktop texture (a duplicated frame, or any BGRA texture of the same
// size) into a frame buffer: copied into a GDI-compatible texture so that GDI
// can draw the cursor into it, then into a CPU-readable staging texture that is
// mapped and copied out row by row at the mapped row pitch.
#pragma once

#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>

#include "libcapture/framepool/framepool.h"

namespace ScreenCaptureLib {

// Copies height rows of width * 4 bytes from rows `rowPitch` bytes apart (a
// driver may pad each mapped row) into `out`, packed.
void copyMappedRows(const uint8_t* data, uint32_t rowPitch, int width, int height, uint8_t* out);

class TextureFrameReader {
public:
    TextureFrameReader();

    // Creates the GDI-compatible render target and the staging texture,
    // width x height, DXGI_FORMAT_B8G8R8A8_UNORM, on `device`.
    HRESULT init(ID3D11Device* device, int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

    // Copies `source` (same size and format) into the GDI texture, draws the
    // cursor there ((originX, originY) is the desktop point of the texture's
    // top-left pixel), copies that into the staging texture and reads it.
    // False when the GDI surface could not be had (nothing reached the staging
    // texture); otherwise true, with `pixels` the new frame, or null when the
    // staging texture could not be mapped.
    bool read(ID3D11Texture2D* source, int originX, int originY, std::shared_ptr<uint8_t>& pixels);

    // The staging texture holds the latest frame read (for a shared copy).
    ID3D11Texture2D* staging() const { return staging_.Get(); }
    ID3D11DeviceContext* context() const { return context_.Get(); }

private:
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> staging_;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> gdi_;
    int width_ = 0;
    int height_ = 0;
    std::shared_ptr<FramePool> pool_;
};

}  // namespace ScreenCaptureLib
