// The 7-byte ADTS header that frames every AAC-LC packet on the audio channel.
#pragma once

#include <array>
#include <cstdint>

namespace vantor {

using AdtsHeader = std::array<uint8_t, 7>;

// Largest frame (header + payload) the 13-bit length field can describe.
constexpr int kAdtsMaxFrameLength = 8191;

// Index of sampleRate in the MPEG-4 sampling-frequency table, or -1 if it has none.
int adtsFrequencyIndex(int sampleRate);

// Channel configuration for a channel count, or -1 where the 3-bit field cannot
// describe the layout without a program config element (0 channels, 7 or more).
int adtsChannelConfiguration(int channels);

// Fills header for an AAC-LC frame of payloadSize bytes. Returns false, leaving header
// untouched, when a field would not fit its bits.
bool buildAdtsHeader(AdtsHeader& header, int payloadSize, int sampleRate, int channels);

}  // namespace vantor
