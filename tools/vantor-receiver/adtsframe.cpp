#include "tools/vantor-receiver/adtsframe.h"

namespace vantor::receiver {

namespace {
const int kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                              22050, 16000, 12000, 11025, 8000,  7350};
}

std::string parseAdtsHeader(const uint8_t* p, size_t size, AdtsFrameInfo* info)
{
    if (size < 7) return "shorter than 7 bytes";
    if (p[0] != 0xFF || (p[1] & 0xF0) != 0xF0) return "no sync word";
    if ((p[1] & 0x06) != 0) return "layer is not 0";
    const bool hasCrc = (p[1] & 0x01) == 0;
    info->headerLength = hasCrc ? 9 : 7;
    info->objectType = ((p[2] >> 6) & 0x03) + 1;
    info->frequencyIndex = (p[2] >> 2) & 0x0F;
    if (info->frequencyIndex > 12)
        return "reserved sampling frequency index " + std::to_string(info->frequencyIndex);
    info->sampleRate = kSampleRates[info->frequencyIndex];
    info->channelConfiguration = ((p[2] & 0x01) << 2) | ((p[3] >> 6) & 0x03);
    info->frameLength = (uint32_t(p[3] & 0x03) << 11) | (uint32_t(p[4]) << 3) | (p[5] >> 5);
    if (info->frameLength < info->headerLength)
        return "frame length " + std::to_string(info->frameLength) + " shorter than the header";
    return {};
}

void audioSpecificConfig(const AdtsFrameInfo& info, uint8_t out[2])
{
    out[0] = uint8_t((info.objectType << 3) | (info.frequencyIndex >> 1));
    out[1] = uint8_t(((info.frequencyIndex & 1) << 7) | (info.channelConfiguration << 3));
}

}  // namespace vantor::receiver
