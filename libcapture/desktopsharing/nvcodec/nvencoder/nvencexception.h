// What the NVENC encoder classes throw: the failing step's text and the
// NVENCSTATUS, formatted as "function : error at file:line\n". The wrapper
// (nvenc.h) catches it; it never leaves the NVENC code.
#pragma once

#include <exception>
#include <string>

#include "ffnvcodec/nvEncodeAPI.h"

class NVENCException : public std::exception {
public:
    NVENCException(const std::string& errorMessage, NVENCSTATUS errorCode)
        : message_(errorMessage), errorCode_(errorCode)
    {
    }

    const char* what() const noexcept override { return message_.c_str(); }
    NVENCSTATUS getErrorCode() const { return errorCode_; }

    static NVENCException makeNVENCException(const std::string& errorText, NVENCSTATUS errorCode,
                                             const std::string& functionName,
                                             const std::string& fileName, int lineNo)
    {
        return NVENCException(functionName + " : " + errorText + " at " + fileName + ":" +
                                  std::to_string(lineNo) + "\n",
                              errorCode);
    }

private:
    std::string message_;
    NVENCSTATUS errorCode_;
};

#define NVENC_THROW_ERROR(errorText, errorCode)                                                \
    throw NVENCException::makeNVENCException((errorText), (errorCode), __FUNCTION__, __FILE__, \
                                             __LINE__)

// A failed API call names the call as written: "m_nvenc.nvEncEncodePicture(...)
// returned error 8".
#define NVENC_API_CALL(nvencAPI)                                                         \
    do {                                                                                 \
        const NVENCSTATUS errorCode = (nvencAPI);                                        \
        if (errorCode != NV_ENC_SUCCESS)                                                 \
            throw NVENCException::makeNVENCException(                                    \
                std::string(#nvencAPI) + " returned error " + std::to_string(errorCode), \
                errorCode, __FUNCTION__, __FILE__, __LINE__);                            \
    } while (0)
