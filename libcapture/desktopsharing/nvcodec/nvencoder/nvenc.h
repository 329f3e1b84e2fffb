// Hardware H.264 (or HEVC) encoding on NVIDIA GPUs behind a C-style record of
// operations over an opaque handle. The handle owns a Direct3D 11 device on
// the NVIDIA adapter, opens the capture's shared texture and turns one texture
// into a run of encoded bytes. Failures are logged and returned as values
// (false, null, -1 or 0); nothing throws out of here.
#pragma once

#include <d3d11.h>

#include <cstdint>
#include <string>

struct nvenc_config {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t framerate = 0;
    uint32_t bitrate = 0;                             // bits a second
    uint32_t gop = 0;                                 // frames between intra frames
    std::string codec;                                // "h264" or "hevc"
    DXGI_FORMAT format = DXGI_FORMAT_B8G8R8A8_UNORM;  // of the input textures (or NV12)
};

struct encoder_info {
    // Runtime installed and new enough (API 8.1 or later).
    bool (*is_supported)();
    // A handle with a device on one of the first two adapters that is NVIDIA's;
    // null when there is none.
    void* (*create)();
    // Destroys the handle and nulls the caller's pointer.
    void (*destroy)(void** handle);
    // Opens the encoder; false when it fails or is already open.
    bool (*init)(void* handle, const nvenc_config* config);
    // Encodes one texture of the handle's device; bytes written to out (the
    // packets that fit below maxSize), 0 while the encoder fills its pipeline,
    // -1 on failure.
    int (*encode_texture)(void* handle, ID3D11Texture2D* texture, uint8_t* out, uint32_t maxSize);
    // Encodes the texture behind a shared handle, holding its keyed mutex with
    // acquireKey while copying it and releasing it with releaseKey.
    int (*encode_handle)(void* handle, HANDLE sharedHandle, int acquireKey, int releaseKey,
                         uint8_t* out, uint32_t maxSize);
    // The parameter sets; bytes written, 0 when they do not fit.
    int (*get_sequence_params)(void* handle, uint8_t* out, uint32_t maxSize);
    ID3D11Device* (*get_d3d11_device)(void* handle);
    ID3D11Texture2D* (*get_texture)(void* handle);  // the CPU-writable upload texture
    ID3D11DeviceContext* (*get_context)(void* handle);
};

extern const encoder_info nvenc_info;
