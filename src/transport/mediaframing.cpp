#include "src/transport/mediaframing.h"

void putBigEndian32(uint8_t* out, uint32_t value)
{
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

uint32_t readBigEndian32(const uint8_t* in)
{
    return (uint32_t(in[0]) << 24) | (uint32_t(in[1]) << 16) | (uint32_t(in[2]) << 8) |
           uint32_t(in[3]);
}

std::array<uint8_t, kAudioStreamHeaderSize> audioStreamHeader(uint32_t channels,
                                                              uint32_t sampleRate,
                                                              uint32_t reserved1,
                                                              uint32_t reserved2)
{
    std::array<uint8_t, kAudioStreamHeaderSize> header{};
    putBigEndian32(&header[0], 1);
    putBigEndian32(&header[4], channels);
    putBigEndian32(&header[8], sampleRate);
    putBigEndian32(&header[12], reserved1);
    putBigEndian32(&header[16], reserved2);
    return header;
}

static_assert(kPacketHeadroom == kMediaFrameHeaderSize, "the headroom holds one frame header");

void frameInPlace(Packet& packet)
{
    uint8_t* header = packet.data - kMediaFrameHeaderSize;
    putBigEndian32(header, packet.size);
    putBigEndian32(header + 4, packet.timestamp);
    packet.framed = true;
}

std::array<uint8_t, kMediaFrameHeaderSize> mediaFrameHeader(uint32_t length, uint32_t timestamp)
{
    std::array<uint8_t, kMediaFrameHeaderSize> header{};
    putBigEndian32(&header[0], length);
    putBigEndian32(&header[4], timestamp);
    return header;
}
