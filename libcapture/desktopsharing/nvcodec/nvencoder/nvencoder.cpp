#include "libcapture/desktopsharing/nvcodec/nvencoder/nvencoder.h"

#include <cstring>

#include "libcapture/desktopsharing/nvcodec/nvencoder/nvencodeapiloader.h"

namespace {

// How long one frame may take the GPU before the encoder gives up on it.
constexpr DWORD kCompletionWaitMs = 20000;

bool isYuv444(NV_ENC_BUFFER_FORMAT format)
{
    return format == NV_ENC_BUFFER_FORMAT_YUV444 || format == NV_ENC_BUFFER_FORMAT_YUV444_10BIT;
}

bool isTenBit(NV_ENC_BUFFER_FORMAT format)
{
    return format == NV_ENC_BUFFER_FORMAT_YUV420_10BIT ||
           format == NV_ENC_BUFFER_FORMAT_YUV444_10BIT;
}

}  // namespace

NvEncoder::NvEncoder(NV_ENC_DEVICE_TYPE deviceType, void* device, uint32_t width, uint32_t height,
                     NV_ENC_BUFFER_FORMAT bufferFormat, uint32_t extraOutputDelay,
                     bool motionEstimationOnly)
    : m_eDeviceType(deviceType),
      m_pDevice(device),
      m_nWidth(width),
      m_nHeight(height),
      m_nMaxEncodeWidth(width),
      m_nMaxEncodeHeight(height),
      m_eBufferFormat(bufferFormat),
      m_bMotionEstimationOnly(motionEstimationOnly),
      m_nExtraOutputDelay(extraOutputDelay)
{
    // Motion vectors alone are not what a cast needs; only full encoding is built.
    if (m_bMotionEstimationOnly)
        NVENC_THROW_ERROR("Motion-estimation-only mode is not supported", NV_ENC_ERR_UNIMPLEMENTED);
    try {
        LoadNvEncApi();
        if (!m_nvenc.nvEncOpenEncodeSessionEx)
            NVENC_THROW_ERROR("EncodeAPI not found", NV_ENC_ERR_NO_ENCODE_DEVICE);

        NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS encodeSessionExParams{};
        encodeSessionExParams.version = NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER;
        encodeSessionExParams.device = m_pDevice;
        encodeSessionExParams.deviceType = m_eDeviceType;
        encodeSessionExParams.apiVersion = NVENCAPI_VERSION;
        void* hEncoder = nullptr;
        NVENC_API_CALL(m_nvenc.nvEncOpenEncodeSessionEx(&encodeSessionExParams, &hEncoder));
        m_hEncoder = hEncoder;
    } catch (const NVENCException&) {
        // No destructor runs for a constructor that throws.
        if (m_hModule) FreeLibrary(m_hModule);
        throw;
    }
}

NvEncoder::~NvEncoder()
{
    // The subclass has destroyed the encoder (it owns the input buffers);
    // what is left is the session and our reference to the runtime.
    DestroyHWEncoder();
    if (m_hModule) FreeLibrary(m_hModule);
}

void NvEncoder::LoadNvEncApi()
{
    HMODULE library = loadNvEncodeLibrary();
    if (!library)
        NVENC_THROW_ERROR("NVENC library file is not found. Please ensure NV driver is installed",
                          NV_ENC_ERR_NO_ENCODE_DEVICE);
    m_hModule = library;

    NvEncodeAPIGetMaxSupportedVersionFunction getMaxVersion = maxSupportedVersionFunction(library);
    uint32_t version = 0;
    if (!getMaxVersion)
        NVENC_THROW_ERROR("Cannot find NvEncodeAPIGetMaxSupportedVersion() entry in NVENC library",
                          NV_ENC_ERR_NO_ENCODE_DEVICE);
    NVENC_API_CALL(getMaxVersion(&version));
    if (version < kMinimumNvEncodeVersion)
        NVENC_THROW_ERROR(
            "Current Driver Version does not support this NvEncodeAPI version, "
            "please upgrade driver",
            NV_ENC_ERR_INVALID_VERSION);

    NvEncodeAPICreateInstanceFunction createInstance = createInstanceFunction(library);
    if (!createInstance)
        NVENC_THROW_ERROR("Cannot find NvEncodeAPICreateInstance() entry in NVENC library",
                          NV_ENC_ERR_NO_ENCODE_DEVICE);
    m_nvenc = NV_ENCODE_API_FUNCTION_LIST{};
    m_nvenc.version = NV_ENCODE_API_FUNCTION_LIST_VER;
    NVENC_API_CALL(createInstance(&m_nvenc));
}

void NvEncoder::CreateDefaultEncoderParams(NV_ENC_INITIALIZE_PARAMS* initializeParams,
                                           GUID codecGuid, GUID presetGuid)
{
    if (!m_hEncoder)
        NVENC_THROW_ERROR("Encoder Initialization failed", NV_ENC_ERR_NO_ENCODE_DEVICE);
    if (!initializeParams || !initializeParams->encodeConfig)
        NVENC_THROW_ERROR("pInitializeParams and pInitializeParams->encodeConfig can't be NULL",
                          NV_ENC_ERR_INVALID_PTR);

    NV_ENC_CONFIG* config = initializeParams->encodeConfig;
    std::memset(config, 0, sizeof *config);
    std::memset(initializeParams, 0, sizeof *initializeParams);
    initializeParams->encodeConfig = config;
    config->version = NV_ENC_CONFIG_VER;
    initializeParams->version = NV_ENC_INITIALIZE_PARAMS_VER;

    initializeParams->encodeGUID = codecGuid;
    initializeParams->presetGUID = presetGuid;
    initializeParams->encodeWidth = initializeParams->darWidth = m_nWidth;
    initializeParams->encodeHeight = initializeParams->darHeight = m_nHeight;
    initializeParams->frameRateNum = 30;
    initializeParams->frameRateDen = 1;
    initializeParams->enableEncodeAsync = 1;
    initializeParams->enablePTD = 1;
    initializeParams->reportSliceOffsets = 0;
    initializeParams->enableSubFrameWrite = 0;
    initializeParams->maxEncodeWidth = m_nWidth;
    initializeParams->maxEncodeHeight = m_nHeight;
    initializeParams->enableMEOnlyMode = m_bMotionEstimationOnly;

    NV_ENC_PRESET_CONFIG presetConfig{};
    presetConfig.version = NV_ENC_PRESET_CONFIG_VER;
    presetConfig.presetCfg.version = NV_ENC_CONFIG_VER;
    NVENC_API_CALL(
        m_nvenc.nvEncGetEncodePresetConfig(m_hEncoder, codecGuid, presetGuid, &presetConfig));
    std::memcpy(config, &presetConfig.presetCfg, sizeof *config);
    config->version = NV_ENC_CONFIG_VER;
    config->frameIntervalP = 1;
    config->gopLength = NVENC_INFINITE_GOPLENGTH;
    config->rcParams.rateControlMode = NV_ENC_PARAMS_RC_CONSTQP;
    config->rcParams.constQP = {28, 31, 25};  // inter P, inter B, intra

    if (IsEqualGUID(codecGuid, NV_ENC_CODEC_H264_GUID)) {
        if (isYuv444(m_eBufferFormat)) config->encodeCodecConfig.h264Config.chromaFormatIDC = 3;
        config->encodeCodecConfig.h264Config.idrPeriod = config->gopLength;
    } else if (IsEqualGUID(codecGuid, NV_ENC_CODEC_HEVC_GUID)) {
        NV_ENC_CONFIG_HEVC& hevc = config->encodeCodecConfig.hevcConfig;
        hevc.pixelBitDepthMinus8 = isTenBit(m_eBufferFormat) ? 2 : 0;
        if (isYuv444(m_eBufferFormat)) hevc.chromaFormatIDC = 3;
        hevc.idrPeriod = config->gopLength;
    }
}

void NvEncoder::CreateEncoder(const NV_ENC_INITIALIZE_PARAMS* params)
{
    if (!m_hEncoder)
        NVENC_THROW_ERROR("Encoder Initialization failed", NV_ENC_ERR_NO_ENCODE_DEVICE);
    if (!params) NVENC_THROW_ERROR("Invalid NV_ENC_INITIALIZE_PARAMS ptr", NV_ENC_ERR_INVALID_PTR);
    if (params->encodeWidth == 0 || params->encodeHeight == 0)
        NVENC_THROW_ERROR("Invalid encoder width and height", NV_ENC_ERR_INVALID_PARAM);
    const bool h264 = IsEqualGUID(params->encodeGUID, NV_ENC_CODEC_H264_GUID);
    const bool hevc = IsEqualGUID(params->encodeGUID, NV_ENC_CODEC_HEVC_GUID);
    if (!h264 && !hevc) NVENC_THROW_ERROR("Invalid codec guid", NV_ENC_ERR_INVALID_PARAM);
    if (h264 && isTenBit(m_eBufferFormat))
        NVENC_THROW_ERROR("10-bit format isn't supported by H264 encoder",
                          NV_ENC_ERR_INVALID_PARAM);
    if (params->encodeConfig) {
        const NV_ENC_CONFIG& config = *params->encodeConfig;
        const uint32_t chroma = h264 ? config.encodeCodecConfig.h264Config.chromaFormatIDC
                                     : config.encodeCodecConfig.hevcConfig.chromaFormatIDC;
        if (chroma != 1 && chroma != 3)
            NVENC_THROW_ERROR("Invalid ChromaFormatIDC", NV_ENC_ERR_INVALID_PARAM);
        if (hevc) {
            const uint32_t depth = config.encodeCodecConfig.hevcConfig.pixelBitDepthMinus8;
            if (depth != 0 && depth != 2)
                NVENC_THROW_ERROR("Invalid PixelBitdepth", NV_ENC_ERR_INVALID_PARAM);
        }
    }

    std::memcpy(&m_initializeParams, params, sizeof m_initializeParams);
    m_initializeParams.version = NV_ENC_INITIALIZE_PARAMS_VER;
    if (params->encodeConfig) {
        std::memcpy(&m_encodeConfig, params->encodeConfig, sizeof m_encodeConfig);
    } else {
        NV_ENC_PRESET_CONFIG presetConfig{};
        presetConfig.version = NV_ENC_PRESET_CONFIG_VER;
        presetConfig.presetCfg.version = NV_ENC_CONFIG_VER;
        NVENC_API_CALL(m_nvenc.nvEncGetEncodePresetConfig(m_hEncoder, params->encodeGUID,
                                                          params->presetGUID, &presetConfig));
        std::memcpy(&m_encodeConfig, &presetConfig.presetCfg, sizeof m_encodeConfig);
    }
    m_encodeConfig.version = NV_ENC_CONFIG_VER;
    m_initializeParams.encodeConfig = &m_encodeConfig;
    // Every key frame an IDR with the parameter sets in front of it, so that
    // a receiver can join at any key frame.
    if (h264) {
        NV_ENC_CONFIG_H264& config = m_encodeConfig.encodeCodecConfig.h264Config;
        config.idrPeriod = m_encodeConfig.gopLength;
        config.repeatSPSPPS = 1;
        if (isYuv444(m_eBufferFormat)) config.chromaFormatIDC = 3;
    } else {
        NV_ENC_CONFIG_HEVC& config = m_encodeConfig.encodeCodecConfig.hevcConfig;
        config.idrPeriod = m_encodeConfig.gopLength;
        config.repeatSPSPPS = 1;
    }

    NVENC_API_CALL(m_nvenc.nvEncInitializeEncoder(m_hEncoder, &m_initializeParams));
    m_bEncoderInitialized = true;
    m_nWidth = m_initializeParams.encodeWidth;
    m_nHeight = m_initializeParams.encodeHeight;
    m_nMaxEncodeWidth = m_initializeParams.maxEncodeWidth;
    m_nMaxEncodeHeight = m_initializeParams.maxEncodeHeight;

    m_nEncoderBuffer =
        static_cast<int32_t>(m_encodeConfig.frameIntervalP +
                             m_encodeConfig.rcParams.lookaheadDepth + m_nExtraOutputDelay);
    m_nOutputDelay = m_nEncoderBuffer - 1;
    m_vMappedInputBuffers.assign(static_cast<size_t>(m_nEncoderBuffer), nullptr);
    m_vpCompletionEvent.assign(static_cast<size_t>(m_nEncoderBuffer), nullptr);
    for (HANDLE& event : m_vpCompletionEvent) {
        event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        NV_ENC_EVENT_PARAMS eventParams{};
        eventParams.version = NV_ENC_EVENT_PARAMS_VER;
        eventParams.completionEvent = event;
        NVENC_API_CALL(m_nvenc.nvEncRegisterAsyncEvent(m_hEncoder, &eventParams));
    }
    InitializeBitstreamBuffers();
    AllocateInputBuffers(m_nEncoderBuffer);
}

void NvEncoder::DestroyEncoder()
{
    if (!m_hEncoder) return;
    if (m_bEncoderInitialized) {
        // Frames still in flight are collected and dropped.
        std::vector<std::vector<uint8_t>> outstanding;
        try {
            EndEncode(outstanding);
        } catch (const NVENCException&) {
        }
    }
    ReleaseInputBuffers();
    DestroyHWEncoder();
}

void NvEncoder::DestroyHWEncoder()
{
    if (!m_hEncoder) return;
    for (HANDLE& event : m_vpCompletionEvent) {
        if (!event) continue;
        NV_ENC_EVENT_PARAMS eventParams{};
        eventParams.version = NV_ENC_EVENT_PARAMS_VER;
        eventParams.completionEvent = event;
        m_nvenc.nvEncUnregisterAsyncEvent(m_hEncoder, &eventParams);
        CloseHandle(event);
        event = nullptr;
    }
    m_vpCompletionEvent.clear();
    DestroyBitstreamBuffers();
    if (m_nvenc.nvEncDestroyEncoder) m_nvenc.nvEncDestroyEncoder(m_hEncoder);
    m_hEncoder = nullptr;
    m_bEncoderInitialized = false;
}

void NvEncoder::InitializeBitstreamBuffers()
{
    for (int32_t i = 0; i < m_nEncoderBuffer; ++i) {
        NV_ENC_CREATE_BITSTREAM_BUFFER buffer{};
        buffer.version = NV_ENC_CREATE_BITSTREAM_BUFFER_VER;
        NVENC_API_CALL(m_nvenc.nvEncCreateBitstreamBuffer(m_hEncoder, &buffer));
        m_vBitstreamOutputBuffer.push_back(buffer.bitstreamBuffer);
    }
}

void NvEncoder::DestroyBitstreamBuffers()
{
    for (NV_ENC_OUTPUT_PTR buffer : m_vBitstreamOutputBuffer)
        if (buffer) m_nvenc.nvEncDestroyBitstreamBuffer(m_hEncoder, buffer);
    m_vBitstreamOutputBuffer.clear();
}

void NvEncoder::RegisterInputResources(const std::vector<void*>& inputFrames,
                                       NV_ENC_INPUT_RESOURCE_TYPE resourceType, int width,
                                       int height, int pitch, NV_ENC_BUFFER_FORMAT bufferFormat)
{
    for (void* frame : inputFrames) {
        NV_ENC_REGISTER_RESOURCE resource{};
        resource.version = NV_ENC_REGISTER_RESOURCE_VER;
        resource.resourceType = resourceType;
        resource.resourceToRegister = frame;
        resource.width = static_cast<uint32_t>(width);
        resource.height = static_cast<uint32_t>(height);
        resource.pitch = static_cast<uint32_t>(pitch);
        resource.bufferFormat = bufferFormat;
        resource.bufferUsage = NV_ENC_INPUT_IMAGE;
        NVENC_API_CALL(m_nvenc.nvEncRegisterResource(m_hEncoder, &resource));
        m_vRegisteredResources.push_back(resource.registeredResource);

        NvEncInputFrame input;
        input.inputPtr = frame;
        input.pitch = static_cast<uint32_t>(pitch);
        input.bufferFormat = bufferFormat;
        input.resourceType = resourceType;
        m_vInputFrames.push_back(input);
    }
}

void NvEncoder::UnregisterInputResources()
{
    for (NV_ENC_INPUT_PTR& mapped : m_vMappedInputBuffers)
        if (mapped) {
            m_nvenc.nvEncUnmapInputResource(m_hEncoder, mapped);
            mapped = nullptr;
        }
    for (NV_ENC_REGISTERED_PTR resource : m_vRegisteredResources)
        if (resource) m_nvenc.nvEncUnregisterResource(m_hEncoder, resource);
    m_vRegisteredResources.clear();
    m_vInputFrames.clear();
}

const NvEncInputFrame* NvEncoder::GetNextInputFrame()
{
    if (m_vInputFrames.empty()) return nullptr;
    return &m_vInputFrames[static_cast<size_t>(m_iToSend % m_nEncoderBuffer)];
}

NVENCSTATUS NvEncoder::DoEncode(NV_ENC_INPUT_PTR input, NV_ENC_OUTPUT_PTR output,
                                NV_ENC_PIC_PARAMS* picParams)
{
    NV_ENC_PIC_PARAMS params{};
    if (picParams) params = *picParams;
    params.version = NV_ENC_PIC_PARAMS_VER;
    params.pictureStruct = NV_ENC_PIC_STRUCT_FRAME;
    params.inputBuffer = input;
    params.bufferFmt = GetPixelFormat();
    params.inputWidth = GetEncodeWidth();
    params.inputHeight = GetEncodeHeight();
    params.outputBitstream = output;
    params.completionEvent = m_vpCompletionEvent[static_cast<size_t>(m_iToSend % m_nEncoderBuffer)];
    return m_nvenc.nvEncEncodePicture(m_hEncoder, &params);
}

void NvEncoder::EncodeFrame(std::vector<std::vector<uint8_t>>& packets)
{
    packets.clear();
    if (!IsHWEncoderInitialized())
        NVENC_THROW_ERROR("Encoder device not found", NV_ENC_ERR_NO_ENCODE_DEVICE);
    const size_t i = static_cast<size_t>(m_iToSend % m_nEncoderBuffer);
    NV_ENC_MAP_INPUT_RESOURCE map{};
    map.version = NV_ENC_MAP_INPUT_RESOURCE_VER;
    map.registeredResource = m_vRegisteredResources[i];
    NVENC_API_CALL(m_nvenc.nvEncMapInputResource(m_hEncoder, &map));
    m_vMappedInputBuffers[i] = map.mappedResource;

    const NVENCSTATUS status = DoEncode(map.mappedResource, m_vBitstreamOutputBuffer[i], nullptr);
    if (status != NV_ENC_SUCCESS && status != NV_ENC_ERR_NEED_MORE_INPUT)
        NVENC_THROW_ERROR("nvEncEncodePicture API failed", status);
    ++m_iToSend;
    GetEncodedPacket(packets, true);
}

void NvEncoder::SendEOS()
{
    NV_ENC_PIC_PARAMS params{};
    params.version = NV_ENC_PIC_PARAMS_VER;
    params.encodePicFlags = NV_ENC_PIC_FLAG_EOS;
    params.completionEvent = m_vpCompletionEvent[static_cast<size_t>(m_iToSend % m_nEncoderBuffer)];
    NVENC_API_CALL(m_nvenc.nvEncEncodePicture(m_hEncoder, &params));
}

void NvEncoder::EndEncode(std::vector<std::vector<uint8_t>>& packets)
{
    packets.clear();
    if (!IsHWEncoderInitialized())
        NVENC_THROW_ERROR("Encoder device not initialized", NV_ENC_ERR_ENCODER_NOT_INITIALIZED);
    SendEOS();
    GetEncodedPacket(packets, false);
}

void NvEncoder::WaitForCompletionEvent(int eventIndex)
{
    HANDLE event = m_vpCompletionEvent[static_cast<size_t>(eventIndex % m_nEncoderBuffer)];
    // A time-out is left to nvEncLockBitstream, which then waits itself.
    if (WaitForSingleObject(event, kCompletionWaitMs) == WAIT_FAILED)
        NVENC_THROW_ERROR("Failed to encode frame", NV_ENC_ERR_GENERIC);
}

void NvEncoder::GetEncodedPacket(std::vector<std::vector<uint8_t>>& packets, bool outputDelay)
{
    const int32_t end = outputDelay ? m_iToSend - m_nOutputDelay : m_iToSend;
    for (; m_iGot < end; ++m_iGot) {
        WaitForCompletionEvent(m_iGot);
        const size_t i = static_cast<size_t>(m_iGot % m_nEncoderBuffer);
        NV_ENC_LOCK_BITSTREAM lock{};
        lock.version = NV_ENC_LOCK_BITSTREAM_VER;
        lock.outputBitstream = m_vBitstreamOutputBuffer[i];
        lock.doNotWait = false;
        NVENC_API_CALL(m_nvenc.nvEncLockBitstream(m_hEncoder, &lock));
        const auto* data = static_cast<const uint8_t*>(lock.bitstreamBufferPtr);
        packets.emplace_back(data, data + lock.bitstreamSizeInBytes);
        NVENC_API_CALL(m_nvenc.nvEncUnlockBitstream(m_hEncoder, lock.outputBitstream));
        if (m_vMappedInputBuffers[i]) {
            NVENC_API_CALL(m_nvenc.nvEncUnmapInputResource(m_hEncoder, m_vMappedInputBuffers[i]));
            m_vMappedInputBuffers[i] = nullptr;
        }
    }
}

void NvEncoder::GetSequenceParams(std::vector<uint8_t>& sequenceParams)
{
    uint8_t payload[NV_MAX_SEQ_HDR_LEN] = {};
    uint32_t size = 0;
    NV_ENC_SEQUENCE_PARAM_PAYLOAD params{};
    params.version = NV_ENC_SEQUENCE_PARAM_PAYLOAD_VER;
    params.inBufferSize = sizeof payload;
    params.spsppsBuffer = payload;
    params.outSPSPPSPayloadSize = &size;
    NVENC_API_CALL(m_nvenc.nvEncGetSequenceParams(m_hEncoder, &params));
    sequenceParams.assign(payload, payload + size);
}
