#include "libcapture/desktopsharing/nvcodec/nvencoder/nvenc.h"

#include <dxgi1_2.h>
#include <wrl/client.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "Comm/logging.h"
#include "libcapture/desktopsharing/nvcodec/nvencoder/nvencodeapiloader.h"
#include "libcapture/desktopsharing/nvcodec/nvencoder/nvencoderd3d11.h"

using Microsoft::WRL::ComPtr;

namespace {

// {49DF21C5-6DFA-4FEB-9787-6ACC9EFFB726}: the low-latency default preset of API 8.1.
constexpr GUID kLowLatencyDefaultPreset = {
    0x49df21c5, 0x6dfa, 0x4feb, {0x97, 0x87, 0x6a, 0xcc, 0x9e, 0xff, 0xb7, 0x26}};
// Only the first two adapters are looked at: a desktop's GPU and, on a
// laptop, the discrete one behind the integrated.
constexpr UINT kAdaptersTried = 2;
// Frames the encoder may hold before it returns the first packet.
constexpr uint32_t kExtraOutputDelay = 3;
// How long the encoder waits for the capture to let go of the shared texture.
constexpr DWORD kSharedTextureWaitMs = 1000;

// Members in order of creation; released in reverse.
struct nvenc_handle {
    ComPtr<IDXGIFactory1> factory;
    ComPtr<IDXGIAdapter> adapter;
    ComPtr<ID3D11Device> device;
    ComPtr<ID3D11DeviceContext> context;
    ComPtr<ID3D11Texture2D> texture;  // upload texture for CPU frames
    HANDLE lastSharedHandle = nullptr;
    ComPtr<ID3D11Texture2D> sharedTexture;  // opened from lastSharedHandle
    ComPtr<IDXGIKeyedMutex> keyedMutex;
    std::mutex mutex;
    nvenc_config config;
    std::unique_ptr<NvEncoderD3D11> encoder;
};

nvenc_handle* handleOf(void* handle) { return static_cast<nvenc_handle*>(handle); }

bool is_supported()
{
    // The library stays loaded: the encoder loads it again.
    HMODULE library = loadNvEncodeLibrary();
    if (!library) {
        LOG(INFO) << "[nvenc] Error: NVENC library file is not found. Please ensure NV driver is "
                     "installed. \n";
        return false;
    }
    NvEncodeAPIGetMaxSupportedVersionFunction getMaxVersion = maxSupportedVersionFunction(library);
    uint32_t version = 0;
    if (!getMaxVersion || getMaxVersion(&version) != NV_ENC_SUCCESS) return false;
    if (version < kMinimumNvEncodeVersion) {
        LOG(INFO) << "[nvenc] Error: Current Driver Version does not support this NvEncodeAPI "
                     "version, please upgrade driver";
        return false;
    }
    LOG(INFO) << "NVENC supported";
    return true;
}

bool isNvidia(IDXGIAdapter* adapter)
{
    DXGI_ADAPTER_DESC desc{};
    if (FAILED(adapter->GetDesc(&desc))) return false;
    char description[128] = {};
    WideCharToMultiByte(CP_ACP, 0, desc.Description, -1, description, sizeof description - 1,
                        nullptr, nullptr);
    return std::strstr(description, "NVIDIA") != nullptr;
}

void* nvenc_create()
{
    if (!is_supported()) return nullptr;
    auto handle = std::make_unique<nvenc_handle>();
    if (SUCCEEDED(CreateDXGIFactory1(IID_PPV_ARGS(&handle->factory)))) {
        for (UINT i = 0; i < kAdaptersTried; ++i) {
            ComPtr<IDXGIAdapter> adapter;
            if (FAILED(handle->factory->EnumAdapters(i, &adapter))) break;
            if (!isNvidia(adapter.Get())) continue;
            if (SUCCEEDED(D3D11CreateDevice(adapter.Get(), D3D_DRIVER_TYPE_UNKNOWN, nullptr, 0,
                                            nullptr, 0, D3D11_SDK_VERSION, &handle->device, nullptr,
                                            &handle->context))) {
                handle->adapter = adapter;
                return handle.release();
            }
        }
    }
    LOG(INFO) << "[nvenc] Error: Failed to create d3d11 device. \n";
    return nullptr;
}

void nvenc_destroy(void** handlePointer)
{
    if (!handlePointer || !*handlePointer) return;
    nvenc_handle* handle = handleOf(*handlePointer);
    {
        std::lock_guard<std::mutex> lock(handle->mutex);
        handle->encoder.reset();
    }
    handle->keyedMutex.Reset();
    handle->sharedTexture.Reset();
    handle->texture.Reset();
    handle->context.Reset();
    handle->device.Reset();
    handle->adapter.Reset();
    handle->factory.Reset();
    delete handle;
    *handlePointer = nullptr;
}

bool nvenc_init(void* opaque, const nvenc_config* config)
{
    nvenc_handle* handle = handleOf(opaque);
    if (!handle || !config) return false;
    std::lock_guard<std::mutex> lock(handle->mutex);
    if (handle->encoder) return false;

    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = config->width;
    desc.Height = config->height;
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = config->format;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_STAGING;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    handle->texture.Reset();
    if (FAILED(handle->device->CreateTexture2D(&desc, nullptr, &handle->texture))) {
        LOG(INFO) << "[nvenc] Error: Failed to create texture. \n";
        return false;
    }
    handle->config = *config;

    NV_ENC_BUFFER_FORMAT bufferFormat = NV_ENC_BUFFER_FORMAT_UNDEFINED;
    if (config->format == DXGI_FORMAT_NV12)
        bufferFormat = NV_ENC_BUFFER_FORMAT_NV12;
    else if (config->format == DXGI_FORMAT_B8G8R8A8_UNORM)
        bufferFormat = NV_ENC_BUFFER_FORMAT_ARGB;
    else {
        LOG(INFO) << "[nvenc] Error: Unsupported dxgi format. \n";
        return false;
    }
    GUID codec{};
    if (config->codec == "h264")
        codec = NV_ENC_CODEC_H264_GUID;
    else if (config->codec == "hevc")
        codec = NV_ENC_CODEC_HEVC_GUID;
    else {
        LOG(INFO) << "[nvenc] Error: Unsupported codec. \n";
        return false;
    }

    try {
        handle->encoder = std::make_unique<NvEncoderD3D11>(
            handle->device.Get(), config->width, config->height, bufferFormat, kExtraOutputDelay);
        NV_ENC_INITIALIZE_PARAMS initializeParams{};
        NV_ENC_CONFIG encodeConfig{};
        initializeParams.encodeConfig = &encodeConfig;
        handle->encoder->CreateDefaultEncoderParams(&initializeParams, codec,
                                                    kLowLatencyDefaultPreset);
        initializeParams.maxEncodeWidth = config->width;
        initializeParams.maxEncodeHeight = config->height;
        initializeParams.frameRateNum = config->framerate;
        encodeConfig.gopLength = config->gop;
        encodeConfig.rcParams.rateControlMode = NV_ENC_PARAMS_RC_CBR;
        encodeConfig.rcParams.averageBitRate =
            static_cast<uint32_t>(static_cast<uint64_t>(config->bitrate) * 5 / 6);
        encodeConfig.rcParams.maxBitRate = config->bitrate;
        handle->encoder->CreateEncoder(&initializeParams);
    } catch (const NVENCException& e) {
        LOG(INFO) << "[nvenc] Error: " << e.what();
        handle->encoder.reset();
        return false;
    }
    return true;
}

// Appends packets while each leaves the total strictly below maxSize.
int appendPackets(const std::vector<std::vector<uint8_t>>& packets, uint8_t* out, uint32_t maxSize)
{
    size_t total = 0;
    for (const std::vector<uint8_t>& packet : packets) {
        if (total + packet.size() >= maxSize) break;
        std::memcpy(out + total, packet.data(), packet.size());
        total += packet.size();
    }
    return static_cast<int>(total);
}

int encodeLocked(nvenc_handle* handle, ID3D11Texture2D* texture, uint8_t* out, uint32_t maxSize)
{
    if (!handle->encoder || !texture || !out) return -1;
    try {
        const NvEncInputFrame* input = handle->encoder->GetNextInputFrame();
        if (!input) return -1;
        handle->context->CopyResource(static_cast<ID3D11Texture2D*>(input->inputPtr), texture);
        std::vector<std::vector<uint8_t>> packets;
        handle->encoder->EncodeFrame(packets);
        return appendPackets(packets, out, maxSize);
    } catch (const NVENCException& e) {
        LOG(INFO) << "[nvenc] Error: " << e.what();
        return -1;
    }
}

int nvenc_encode_texture(void* opaque, ID3D11Texture2D* texture, uint8_t* out, uint32_t maxSize)
{
    nvenc_handle* handle = handleOf(opaque);
    if (!handle) return -1;
    std::lock_guard<std::mutex> lock(handle->mutex);
    return encodeLocked(handle, texture, out, maxSize);
}

int nvenc_encode_handle(void* opaque, HANDLE sharedHandle, int acquireKey, int releaseKey,
                        uint8_t* out, uint32_t maxSize)
{
    nvenc_handle* handle = handleOf(opaque);
    if (!handle) return -1;
    if (!sharedHandle) return 0;
    std::lock_guard<std::mutex> lock(handle->mutex);
    if (sharedHandle != handle->lastSharedHandle) {
        handle->keyedMutex.Reset();
        handle->sharedTexture.Reset();
        handle->lastSharedHandle = nullptr;
        if (FAILED(handle->device->OpenSharedResource(sharedHandle,
                                                      IID_PPV_ARGS(&handle->sharedTexture))) ||
            FAILED(handle->sharedTexture.As(&handle->keyedMutex))) {
            handle->sharedTexture.Reset();
            return -1;
        }
        handle->lastSharedHandle = sharedHandle;
    }
    if (handle->keyedMutex->AcquireSync(static_cast<UINT64>(acquireKey), kSharedTextureWaitMs) !=
        S_OK)
        return -1;
    const int bytes = encodeLocked(handle, handle->sharedTexture.Get(), out, maxSize);
    handle->keyedMutex->ReleaseSync(static_cast<UINT64>(releaseKey));
    return bytes;
}

int nvenc_get_sequence_params(void* opaque, uint8_t* out, uint32_t maxSize)
{
    nvenc_handle* handle = handleOf(opaque);
    if (!handle || !out) return 0;
    std::lock_guard<std::mutex> lock(handle->mutex);
    if (!handle->encoder) return 0;
    try {
        std::vector<uint8_t> params;
        handle->encoder->GetSequenceParams(params);
        if (params.size() >= maxSize) return 0;
        std::memcpy(out, params.data(), params.size());
        return static_cast<int>(params.size());
    } catch (const NVENCException& e) {
        LOG(INFO) << "[nvenc] Error: " << e.what();
        return 0;
    }
}

ID3D11Device* nvenc_get_d3d11_device(void* opaque)
{
    nvenc_handle* handle = handleOf(opaque);
    if (!handle) return nullptr;
    std::lock_guard<std::mutex> lock(handle->mutex);
    return handle->device.Get();
}

ID3D11Texture2D* nvenc_get_texture(void* opaque)
{
    nvenc_handle* handle = handleOf(opaque);
    if (!handle) return nullptr;
    std::lock_guard<std::mutex> lock(handle->mutex);
    return handle->texture.Get();
}

ID3D11DeviceContext* nvenc_get_context(void* opaque)
{
    nvenc_handle* handle = handleOf(opaque);
    if (!handle) return nullptr;
    std::lock_guard<std::mutex> lock(handle->mutex);
    return handle->context.Get();
}

}  // namespace

const encoder_info nvenc_info = {
    is_supported,
    nvenc_create,
    nvenc_destroy,
    nvenc_init,
    nvenc_encode_texture,
    nvenc_encode_handle,
    nvenc_get_sequence_params,
    nvenc_get_d3d11_device,
    nvenc_get_texture,
    nvenc_get_context,
};
