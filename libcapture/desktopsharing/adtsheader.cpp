#include "libcapture/desktopsharing/adtsheader.h"

namespace vantor {

int adtsFrequencyIndex(int sampleRate)
{
    static constexpr int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                     22050, 16000, 12000, 11025, 8000,  7350};
    for (int index = 0; index < static_cast<int>(sizeof(kRates) / sizeof(kRates[0])); ++index) {
        if (kRates[index] == sampleRate) {
            return index;
        }
    }
    return -1;
}

int adtsChannelConfiguration(int channels)
{
    // Configurations 1-6 are 1-6 channels in the standard speaker order.
    return channels >= 1 && channels <= 6 ? channels : -1;
}

bool buildAdtsHeader(AdtsHeader& header, int payloadSize, int sampleRate, int channels)
{
    const int frequencyIndex = adtsFrequencyIndex(sampleRate);
    const int configuration = adtsChannelConfiguration(channels);
    const int length = payloadSize + static_cast<int>(header.size());
    if (frequencyIndex < 0 || configuration < 0 || payloadSize < 0 ||
        length > kAdtsMaxFrameLength) {
        return false;
    }
    header[0] = 0xFF;
    header[1] = 0xF1;  // sync word end, MPEG-4, layer 0, no CRC
    header[2] = static_cast<uint8_t>(0x40 | (frequencyIndex << 2) | (configuration >> 2));
    header[3] = static_cast<uint8_t>(((configuration & 3) << 6) | ((length >> 11) & 3));
    header[4] = static_cast<uint8_t>((length >> 3) & 0xFF);
    header[5] = static_cast<uint8_t>(((length & 7) << 5) | 0x1F);  // buffer fullness 0x7FF
    header[6] = 0xFC;  // rest of the fullness, one raw data block
    return true;
}

}  // namespace vantor
