// An NVENC encode session: parameters, completion events, bitstream buffers
// and the encode loop. The input buffers come from the device-specific
// subclass (NvEncoderD3D11). Failures throw NVENCException; the class is not
// thread-safe.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "libcapture/desktopsharing/nvcodec/nvencoder/nvencexception.h"

// One input buffer as the caller fills it: for the Direct3D 11 encoder,
// inputPtr is the ID3D11Texture2D to copy the picture into.
struct NvEncInputFrame {
    void* inputPtr = nullptr;
    uint32_t pitch = 0;
    NV_ENC_BUFFER_FORMAT bufferFormat = NV_ENC_BUFFER_FORMAT_UNDEFINED;
    NV_ENC_INPUT_RESOURCE_TYPE resourceType = NV_ENC_INPUT_RESOURCE_TYPE_DIRECTX;
};

class NvEncoder {
public:
    virtual ~NvEncoder();
    NvEncoder(const NvEncoder&) = delete;
    NvEncoder& operator=(const NvEncoder&) = delete;

    // Zeroes both structures (initializeParams->encodeConfig must point at
    // an NV_ENC_CONFIG) and fills them with the preset's configuration at the
    // encoder's size: 30 fps, asynchronous, infinite GOP, constant QP.
    void CreateDefaultEncoderParams(NV_ENC_INITIALIZE_PARAMS* initializeParams, GUID codecGuid,
                                    GUID presetGuid);
    // Initialises the session with the parameters and creates the buffers.
    void CreateEncoder(const NV_ENC_INITIALIZE_PARAMS* initializeParams);
    // Flushes (EndEncode) and releases everything but the session.
    void DestroyEncoder();

    // The buffer the next EncodeFrame encodes.
    const NvEncInputFrame* GetNextInputFrame();
    // Encodes the next input buffer; returns the packets that are ready (those
    // of the frame sent `output delay` calls earlier).
    void EncodeFrame(std::vector<std::vector<uint8_t>>& packets);
    // Sends the end of the stream and collects every outstanding packet.
    void EndEncode(std::vector<std::vector<uint8_t>>& packets);
    // The parameter sets (SPS and PPS) of the session.
    void GetSequenceParams(std::vector<uint8_t>& sequenceParams);

    uint32_t GetEncodeWidth() const { return m_nWidth; }
    uint32_t GetEncodeHeight() const { return m_nHeight; }

protected:
    // Loads the runtime and opens a session on the device.
    NvEncoder(NV_ENC_DEVICE_TYPE deviceType, void* device, uint32_t width, uint32_t height,
              NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t extraOutputDelay,
              bool motionEstimationOnly);

    virtual void AllocateInputBuffers(int32_t numInputBuffers) = 0;
    virtual void ReleaseInputBuffers() = 0;

    // Registers the device's textures as the input buffers.
    void RegisterInputResources(const std::vector<void*>& inputFrames,
                                NV_ENC_INPUT_RESOURCE_TYPE resourceType, int width, int height,
                                int pitch, NV_ENC_BUFFER_FORMAT bufferFormat);
    void UnregisterInputResources();

    bool IsHWEncoderInitialized() const { return m_hEncoder && m_bEncoderInitialized; }
    uint32_t GetMaxEncodeWidth() const { return m_nMaxEncodeWidth; }
    uint32_t GetMaxEncodeHeight() const { return m_nMaxEncodeHeight; }
    NV_ENC_BUFFER_FORMAT GetPixelFormat() const { return m_eBufferFormat; }
    void* GetDevice() const { return m_pDevice; }

private:
    void LoadNvEncApi();
    void DestroyHWEncoder();
    void InitializeBitstreamBuffers();
    void DestroyBitstreamBuffers();
    NVENCSTATUS DoEncode(NV_ENC_INPUT_PTR input, NV_ENC_OUTPUT_PTR output,
                         NV_ENC_PIC_PARAMS* picParams);
    void GetEncodedPacket(std::vector<std::vector<uint8_t>>& packets, bool outputDelay);
    void WaitForCompletionEvent(int eventIndex);
    void SendEOS();

protected:
    NV_ENCODE_API_FUNCTION_LIST m_nvenc{};
    void* m_hEncoder = nullptr;

private:
    HMODULE m_hModule = nullptr;
    NV_ENC_DEVICE_TYPE m_eDeviceType;
    void* m_pDevice;
    uint32_t m_nWidth;
    uint32_t m_nHeight;
    uint32_t m_nMaxEncodeWidth = 0;
    uint32_t m_nMaxEncodeHeight = 0;
    NV_ENC_BUFFER_FORMAT m_eBufferFormat;
    bool m_bMotionEstimationOnly;
    uint32_t m_nExtraOutputDelay;
    bool m_bEncoderInitialized = false;
    NV_ENC_INITIALIZE_PARAMS m_initializeParams{};
    NV_ENC_CONFIG m_encodeConfig{};

    int32_t m_nEncoderBuffer = 0;
    int32_t m_nOutputDelay = 0;
    int32_t m_iToSend = 0;
    int32_t m_iGot = 0;
    std::vector<NvEncInputFrame> m_vInputFrames;
    std::vector<NV_ENC_REGISTERED_PTR> m_vRegisteredResources;
    std::vector<NV_ENC_INPUT_PTR> m_vMappedInputBuffers;
    std::vector<NV_ENC_OUTPUT_PTR> m_vBitstreamOutputBuffer;
    std::vector<HANDLE> m_vpCompletionEvent;
};
