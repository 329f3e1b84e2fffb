// An NVENC session on a Direct3D 11 device whose input buffers are textures of
// that device (NV12 or BGRA), registered with the session.
#pragma once

#include <d3d11.h>

#include <vector>

#include "libcapture/desktopsharing/nvcodec/nvencoder/nvencoder.h"

class NvEncoderD3D11 : public NvEncoder {
public:
    NvEncoderD3D11(ID3D11Device* device, uint32_t width, uint32_t height,
                   NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t extraOutputDelay = 3,
                   bool motionEstimationOnly = false);
    ~NvEncoderD3D11() override;

protected:
    void AllocateInputBuffers(int32_t numInputBuffers) override;
    void ReleaseInputBuffers() override;

private:
    void ReleaseD3D11Resources();

    ID3D11Device* m_pD3D11Device = nullptr;  // one reference of ours
    ID3D11DeviceContext* m_pD3D11DeviceContext = nullptr;
    std::vector<ID3D11Texture2D*> m_vInputTextures;
};
