// A stand-in for the NVENC runtime of NVIDIA's driver (nvEncodeAPI64.dll),
// built beside the test programs so that our loader, version check, function
// list and session handling run under Wine, which has no NVENC. What it does
// is chosen per call by environment variables of the test process:
//   VANTOR_FAKE_NVENC_VERSION  the API version it reports, as major * 16 +
//                              minor in hex (default 0xb1: 11.1)
//   VANTOR_FAKE_NVENC_SESSION  "refuse" (default): no session, as on a GPU
//                              without an encoder; "missing": the function list
//                              lacks the session call; "open": a session that
//                              encodes every picture into a small packet
//                              (0 0 0 1 0x65 and the picture's number)
// FakeNvencCount(name) tells how often a call was made; FakeNvencLastConfig
// hands out the parameters of the last initialisation.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ffnvcodec/nvEncodeAPI.h"

#define FAKE_EXPORT extern "C" __declspec(dllexport)

namespace {

std::mutex mutex;
std::map<std::string, int> counts;
NV_ENC_INITIALIZE_PARAMS lastInitialize{};
NV_ENC_CONFIG lastConfig{};
int sessionMarker = 0;  // what the fake session handle points at

struct FakeBitstream {
    std::vector<uint8_t> bytes;
};

std::string setting(const char* name, const char* fallback)
{
    char value[64] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value) : std::string(fallback);
}

void count(const char* name)
{
    std::lock_guard<std::mutex> lock(mutex);
    ++counts[name];
}

bool isOurSession(void* encoder) { return encoder == &sessionMarker; }

NVENCSTATUS NVENCAPI openSession(NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS* params, void** encoder)
{
    count("open_session");
    if (!params || !encoder || params->version != NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER ||
        params->deviceType != NV_ENC_DEVICE_TYPE_DIRECTX || !params->device ||
        params->apiVersion != NVENCAPI_VERSION)
        return NV_ENC_ERR_INVALID_PARAM;
    if (setting("VANTOR_FAKE_NVENC_SESSION", "refuse") != "open")
        return NV_ENC_ERR_NO_ENCODE_DEVICE;
    *encoder = &sessionMarker;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI presetConfig(void* encoder, GUID, GUID, NV_ENC_PRESET_CONFIG* config)
{
    count("preset_config");
    if (!isOurSession(encoder) || !config || config->version != NV_ENC_PRESET_CONFIG_VER)
        return NV_ENC_ERR_INVALID_PARAM;
    NV_ENC_CONFIG& preset = config->presetCfg;
    preset.gopLength = 30;
    preset.frameIntervalP = 1;
    preset.rcParams.rateControlMode = NV_ENC_PARAMS_RC_VBR;
    preset.encodeCodecConfig.h264Config.chromaFormatIDC = 1;
    preset.encodeCodecConfig.hevcConfig.chromaFormatIDC = 1;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI initialize(void* encoder, NV_ENC_INITIALIZE_PARAMS* params)
{
    count("initialize");
    if (!isOurSession(encoder) || !params || params->version != NV_ENC_INITIALIZE_PARAMS_VER ||
        !params->encodeConfig || params->encodeConfig->version != NV_ENC_CONFIG_VER)
        return NV_ENC_ERR_INVALID_PARAM;
    std::lock_guard<std::mutex> lock(mutex);
    lastInitialize = *params;
    lastConfig = *params->encodeConfig;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI registerEvent(void* encoder, NV_ENC_EVENT_PARAMS* params)
{
    count("register_event");
    return isOurSession(encoder) && params && params->completionEvent ? NV_ENC_SUCCESS
                                                                      : NV_ENC_ERR_INVALID_PARAM;
}

NVENCSTATUS NVENCAPI unregisterEvent(void* encoder, NV_ENC_EVENT_PARAMS*)
{
    count("unregister_event");
    return isOurSession(encoder) ? NV_ENC_SUCCESS : NV_ENC_ERR_INVALID_PARAM;
}

NVENCSTATUS NVENCAPI createBitstream(void* encoder, NV_ENC_CREATE_BITSTREAM_BUFFER* params)
{
    count("create_bitstream");
    if (!isOurSession(encoder) || !params) return NV_ENC_ERR_INVALID_PARAM;
    params->bitstreamBuffer = new FakeBitstream;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI destroyBitstream(void*, NV_ENC_OUTPUT_PTR buffer)
{
    count("destroy_bitstream");
    delete static_cast<FakeBitstream*>(buffer);
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI registerResource(void* encoder, NV_ENC_REGISTER_RESOURCE* params)
{
    count("register_resource");
    if (!isOurSession(encoder) || !params || !params->resourceToRegister ||
        params->resourceType != NV_ENC_INPUT_RESOURCE_TYPE_DIRECTX)
        return NV_ENC_ERR_INVALID_PARAM;
    params->registeredResource = params->resourceToRegister;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI unregisterResource(void*, NV_ENC_REGISTERED_PTR)
{
    count("unregister_resource");
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI mapInput(void* encoder, NV_ENC_MAP_INPUT_RESOURCE* params)
{
    count("map_input");
    if (!isOurSession(encoder) || !params || !params->registeredResource)
        return NV_ENC_ERR_INVALID_PARAM;
    params->mappedResource = params->registeredResource;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI unmapInput(void*, NV_ENC_INPUT_PTR)
{
    count("unmap_input");
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI encodePicture(void* encoder, NV_ENC_PIC_PARAMS* params)
{
    if (!isOurSession(encoder) || !params || params->version != NV_ENC_PIC_PARAMS_VER)
        return NV_ENC_ERR_INVALID_PARAM;
    if (params->encodePicFlags & NV_ENC_PIC_FLAG_EOS) {
        count("end_of_stream");
        return NV_ENC_SUCCESS;
    }
    int picture = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        picture = counts["encode"]++;
    }
    if (!params->inputBuffer || !params->outputBitstream || !params->completionEvent)
        return NV_ENC_ERR_INVALID_PARAM;
    const int bytes = std::atoi(setting("VANTOR_FAKE_NVENC_PACKET_BYTES", "100").c_str());
    auto* out = static_cast<FakeBitstream*>(params->outputBitstream);
    out->bytes.assign(static_cast<size_t>(bytes), 0);
    const uint8_t head[] = {0, 0, 0, 1, 0x65, static_cast<uint8_t>(picture)};
    std::memcpy(out->bytes.data(), head, std::min<size_t>(sizeof head, out->bytes.size()));
    SetEvent(static_cast<HANDLE>(params->completionEvent));
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI lockBitstream(void*, NV_ENC_LOCK_BITSTREAM* params)
{
    count("lock_bitstream");
    if (!params || !params->outputBitstream) return NV_ENC_ERR_INVALID_PARAM;
    auto* buffer = static_cast<FakeBitstream*>(params->outputBitstream);
    params->bitstreamBufferPtr = buffer->bytes.data();
    params->bitstreamSizeInBytes = static_cast<uint32_t>(buffer->bytes.size());
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI unlockBitstream(void*, NV_ENC_OUTPUT_PTR)
{
    count("unlock_bitstream");
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI sequenceParams(void* encoder, NV_ENC_SEQUENCE_PARAM_PAYLOAD* params)
{
    count("sequence_params");
    static const uint8_t spsPps[] = {0, 0, 0, 1, 0x67, 0x42, 0, 0, 0, 1, 0x68, 0xce};
    if (!isOurSession(encoder) || !params || !params->spsppsBuffer ||
        params->inBufferSize < sizeof spsPps)
        return NV_ENC_ERR_INVALID_PARAM;
    std::memcpy(params->spsppsBuffer, spsPps, sizeof spsPps);
    *params->outSPSPPSPayloadSize = sizeof spsPps;
    return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI destroyEncoder(void* encoder)
{
    count("destroy_encoder");
    return isOurSession(encoder) ? NV_ENC_SUCCESS : NV_ENC_ERR_INVALID_PARAM;
}

}  // namespace

FAKE_EXPORT NVENCSTATUS NVENCAPI NvEncodeAPIGetMaxSupportedVersion(uint32_t* version)
{
    count("max_version");
    if (!version) return NV_ENC_ERR_INVALID_PTR;
    *version = static_cast<uint32_t>(
        std::strtoul(setting("VANTOR_FAKE_NVENC_VERSION", "0xb1").c_str(), nullptr, 16));
    return NV_ENC_SUCCESS;
}

FAKE_EXPORT NVENCSTATUS NVENCAPI NvEncodeAPICreateInstance(NV_ENCODE_API_FUNCTION_LIST* list)
{
    count("create_instance");
    if (!list || list->version != NV_ENCODE_API_FUNCTION_LIST_VER)
        return NV_ENC_ERR_INVALID_VERSION;
    if (setting("VANTOR_FAKE_NVENC_SESSION", "refuse") != "missing")
        list->nvEncOpenEncodeSessionEx = openSession;
    list->nvEncGetEncodePresetConfig = presetConfig;
    list->nvEncInitializeEncoder = initialize;
    list->nvEncRegisterAsyncEvent = registerEvent;
    list->nvEncUnregisterAsyncEvent = unregisterEvent;
    list->nvEncCreateBitstreamBuffer = createBitstream;
    list->nvEncDestroyBitstreamBuffer = destroyBitstream;
    list->nvEncRegisterResource = registerResource;
    list->nvEncUnregisterResource = unregisterResource;
    list->nvEncMapInputResource = mapInput;
    list->nvEncUnmapInputResource = unmapInput;
    list->nvEncEncodePicture = encodePicture;
    list->nvEncLockBitstream = lockBitstream;
    list->nvEncUnlockBitstream = unlockBitstream;
    list->nvEncGetSequenceParams = sequenceParams;
    list->nvEncDestroyEncoder = destroyEncoder;
    return NV_ENC_SUCCESS;
}

FAKE_EXPORT int FakeNvencCount(const char* name)
{
    std::lock_guard<std::mutex> lock(mutex);
    auto it = counts.find(name);
    return it == counts.end() ? 0 : it->second;
}

FAKE_EXPORT void FakeNvencLastConfig(NV_ENC_INITIALIZE_PARAMS* params, NV_ENC_CONFIG* config)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (params) *params = lastInitialize;
    if (config) *config = lastConfig;
}
