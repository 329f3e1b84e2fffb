// Decodes what the pipeline sent, as a receiver would: H.264 pictures back to
// their frame numbers, AAC frames back to samples.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/pipeline/packetrecorder.h"

// NAL unit types (SPS 7, PPS 8, IDR slice 5, ...) of one Annex B packet.
std::vector<int> nalUnitTypes(const std::vector<uint8_t>& packet);

struct DecodedVideo {
    int width = 0;
    int height = 0;
    int errors = 0;
    std::vector<int64_t> frameNumbers;  // one per decoded picture, -1 where illegible
};
DecodedVideo decodeVideo(const std::vector<RecordedPacket>& packets);

struct DecodedAudio {
    int sampleRate = 0;
    int channels = 0;
    int errors = 0;
    std::vector<float> left;  // the first channel of every decoded frame, in order
};
DecodedAudio decodeAudio(const std::vector<RecordedPacket>& packets);

// Rising zero crossings: one per period of a tone.
int risingCrossings(const std::vector<float>& samples);
