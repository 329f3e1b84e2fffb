// A tiny real H.264 + AAC stream for the receiver tests, encoded with libavcodec,
// and the byte layouts a sender puts on the media connections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor::receiver::test {

using Bytes = std::vector<uint8_t>;

struct TimedPacket {
    Bytes data;
    uint32_t timestamp = 0;
};

struct TestStream {
    std::vector<TimedPacket> video;  // Annex B, SPS and PPS in band
    std::vector<TimedPacket> audio;  // AAC-LC with ADTS header
};

// 64x64 picture at 25 fps (libx264 ultrafast), 48 kHz stereo sine (FFmpeg's aac).
// Empty vectors when an encoder is missing.
TestStream encodeTestStream(int videoFrames, int audioFrames);

Bytes adtsHeader(size_t payloadSize, int sampleRate, int channels);
Bytes mediaFrame(const Bytes& payload, uint32_t timestamp);
Bytes audioStreamHeader(uint32_t channels, uint32_t sampleRate, uint32_t marker = 1);
void append(Bytes& to, const Bytes& more);

struct MediaFileCounts {
    bool opened = false;
    int videoPackets = 0;
    int audioPackets = 0;
    int decodedVideoFrames = 0;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    int channels = 0;
};

// Demuxes the whole file and decodes its video stream.
MediaFileCounts inspectMediaFile(const std::string& path);

}  // namespace vantor::receiver::test
