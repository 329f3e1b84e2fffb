// Byte layouts of the media channels: the audio stream header that opens the
// audio channel and the 8-byte header in front of every packet. All fields are
// unsigned 32-bit big-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "src/transport/packet.h"

constexpr int kVideoPort = 43572;
constexpr int kAudioPort = 43573;
constexpr size_t kAudioStreamHeaderSize = 20;
constexpr size_t kMediaFrameHeaderSize = 8;

// marker 1, channels, sample rate, two reserved fields.
std::array<uint8_t, kAudioStreamHeaderSize> audioStreamHeader(uint32_t channels,
                                                              uint32_t sampleRate,
                                                              uint32_t reserved1 = 0,
                                                              uint32_t reserved2 = 0);

// payload length, timestamp in milliseconds.
std::array<uint8_t, kMediaFrameHeaderSize> mediaFrameHeader(uint32_t length, uint32_t timestamp);

// Writes the packet's media frame header (its size and timestamp) into the
// headroom in front of its data and marks it framed. Only for buffers that have
// that room (a PacketPool's, the session's copies), before the packet is queued.
void frameInPlace(Packet& packet);

void putBigEndian32(uint8_t* out, uint32_t value);
uint32_t readBigEndian32(const uint8_t* in);
