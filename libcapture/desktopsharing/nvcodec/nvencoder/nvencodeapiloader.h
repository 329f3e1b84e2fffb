// The NVENC runtime that the NVIDIA display driver installs, loaded at run
// time: nvEncodeAPI64.dll in a 64-bit process, nvEncodeAPI.dll in a 32-bit one.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ffnvcodec/nvEncodeAPI.h"

#if defined(_WIN64)
constexpr const char* kNvEncodeLibrary = "nvEncodeAPI64.dll";
#else
constexpr const char* kNvEncodeLibrary = "nvEncodeAPI.dll";
#endif

// The oldest runtime we work with: API 8.1, as major * 16 + minor.
constexpr uint32_t kMinimumNvEncodeVersion = (8 << 4) | 1;

using NvEncodeAPIGetMaxSupportedVersionFunction = NVENCSTATUS(NVENCAPI*)(uint32_t*);
using NvEncodeAPICreateInstanceFunction = NVENCSTATUS(NVENCAPI*)(NV_ENCODE_API_FUNCTION_LIST*);

// LoadLibrary of the runtime (a reference the caller may keep or free); null
// when it is not installed.
HMODULE loadNvEncodeLibrary();
NvEncodeAPIGetMaxSupportedVersionFunction maxSupportedVersionFunction(HMODULE library);
NvEncodeAPICreateInstanceFunction createInstanceFunction(HMODULE library);
