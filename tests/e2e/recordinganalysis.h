// Decodes a receiver's recording with FFmpeg and reports what a viewer would get.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RecordingAnalysis {
    bool opened = false;
    int width = 0;
    int height = 0;
    int videoFrames = 0;
    std::vector<int64_t> frameNumbers;  // drawn into the test picture; -1 when not legible
    std::vector<int> keyFrames;         // indices of decoded key frames
    // The recorded timestamps (ms) of the video and audio packets, in file order:
    // the sender's own clock, as the receiver got it.
    std::vector<int64_t> videoTimestamps;
    std::vector<int64_t> audioTimestamps;
    int audioChannels = 0;
    int audioRate = 0;
    double audioSeconds = 0;
    double toneShare = 0;  // share of the audio energy at 1 kHz (0..1)
};

RecordingAnalysis analyseRecording(const std::string& path);
