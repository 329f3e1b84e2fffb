#include "libcapture/desktopsharing/nvcodec/nvencoder/nvencodeapiloader.h"

HMODULE loadNvEncodeLibrary() { return LoadLibraryA(kNvEncodeLibrary); }

NvEncodeAPIGetMaxSupportedVersionFunction maxSupportedVersionFunction(HMODULE library)
{
    return reinterpret_cast<NvEncodeAPIGetMaxSupportedVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "NvEncodeAPIGetMaxSupportedVersion")));
}

NvEncodeAPICreateInstanceFunction createInstanceFunction(HMODULE library)
{
    return reinterpret_cast<NvEncodeAPICreateInstanceFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "NvEncodeAPICreateInstance")));
}
