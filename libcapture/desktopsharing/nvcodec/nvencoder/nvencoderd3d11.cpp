#include "libcapture/desktopsharing/nvcodec/nvencoder/nvencoderd3d11.h"

namespace {

DXGI_FORMAT textureFormat(NV_ENC_BUFFER_FORMAT format)
{
    switch (format) {
        case NV_ENC_BUFFER_FORMAT_NV12:
            return DXGI_FORMAT_NV12;
        case NV_ENC_BUFFER_FORMAT_ARGB:
            return DXGI_FORMAT_B8G8R8A8_UNORM;
        default:
            return DXGI_FORMAT_UNKNOWN;
    }
}

// The session opens before our constructor body runs, so the device is
// checked on the way into the base class.
void* checkedDevice(ID3D11Device* device, NV_ENC_BUFFER_FORMAT format)
{
    if (!device) NVENC_THROW_ERROR("Bad d3d11device ptr", NV_ENC_ERR_INVALID_PTR);
    if (textureFormat(format) == DXGI_FORMAT_UNKNOWN)
        NVENC_THROW_ERROR("Unsupported Buffer format", NV_ENC_ERR_INVALID_PARAM);
    return device;
}

}  // namespace

NvEncoderD3D11::NvEncoderD3D11(ID3D11Device* device, uint32_t width, uint32_t height,
                               NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t extraOutputDelay,
                               bool motionEstimationOnly)
    : NvEncoder(NV_ENC_DEVICE_TYPE_DIRECTX, checkedDevice(device, bufferFormat), width, height,
                bufferFormat, extraOutputDelay, motionEstimationOnly),
      m_pD3D11Device(device)
{
    m_pD3D11Device->AddRef();
    m_pD3D11Device->GetImmediateContext(&m_pD3D11DeviceContext);
}

NvEncoderD3D11::~NvEncoderD3D11()
{
    DestroyEncoder();  // needs our input buffers, so not left to the base class
    ReleaseD3D11Resources();
}

void NvEncoderD3D11::AllocateInputBuffers(int32_t numInputBuffers)
{
    if (!IsHWEncoderInitialized())
        NVENC_THROW_ERROR("Encoder intialization failed", NV_ENC_ERR_ENCODER_NOT_INITIALIZED);
    std::vector<void*> textures;
    for (int32_t i = 0; i < numInputBuffers; ++i) {
        D3D11_TEXTURE2D_DESC desc{};
        desc.Width = GetMaxEncodeWidth();
        desc.Height = GetMaxEncodeHeight();
        desc.MipLevels = 1;
        desc.ArraySize = 1;
        desc.Format = textureFormat(GetPixelFormat());
        desc.SampleDesc.Count = 1;
        desc.Usage = D3D11_USAGE_DEFAULT;
        desc.BindFlags = D3D11_BIND_RENDER_TARGET;
        ID3D11Texture2D* texture = nullptr;
        if (FAILED(m_pD3D11Device->CreateTexture2D(&desc, nullptr, &texture)))
            NVENC_THROW_ERROR("Failed to create d3d11textures", NV_ENC_ERR_OUT_OF_MEMORY);
        m_vInputTextures.push_back(texture);
        textures.push_back(texture);
    }
    RegisterInputResources(textures, NV_ENC_INPUT_RESOURCE_TYPE_DIRECTX,
                           static_cast<int>(GetMaxEncodeWidth()),
                           static_cast<int>(GetMaxEncodeHeight()), 0, GetPixelFormat());
}

void NvEncoderD3D11::ReleaseInputBuffers()
{
    UnregisterInputResources();
    for (ID3D11Texture2D* texture : m_vInputTextures) texture->Release();
    m_vInputTextures.clear();
}

void NvEncoderD3D11::ReleaseD3D11Resources()
{
    if (m_pD3D11DeviceContext) m_pD3D11DeviceContext->Release();
    m_pD3D11DeviceContext = nullptr;
    if (m_pD3D11Device) m_pD3D11Device->Release();
    m_pD3D11Device = nullptr;
}
