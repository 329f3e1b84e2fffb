// Reads the fixed part of an ADTS header (the 7 or 9 bytes before each AAC frame).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor::receiver {

struct AdtsFrameInfo {
    int objectType = 0;      // MPEG-4 audio object type (2 = AAC LC)
    int frequencyIndex = 0;  // index into the ISO/IEC 14496-3 rate table
    int sampleRate = 0;
    int channelConfiguration = 0;
    uint32_t frameLength = 0;   // header included
    uint32_t headerLength = 0;  // 7, or 9 with CRC
};

// Returns an empty text when the header is sound, otherwise what is wrong with it.
std::string parseAdtsHeader(const uint8_t* data, size_t size, AdtsFrameInfo* info);

// The two-byte AudioSpecificConfig a container needs instead of per-frame ADTS headers.
void audioSpecificConfig(const AdtsFrameInfo& info, uint8_t out[2]);

}  // namespace vantor::receiver
