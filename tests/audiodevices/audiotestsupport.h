// Helpers for the audio device tests: a recorder behind the capture callback,
// a tone played into a sink with pacat, a frequency scan, and pactl queries.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "libcapture/desktopsharing/audiodevice.h"

// Collects what a capture delivers: the first channel's samples, packet and
// frame counts, the format seen, and whether anything but silence arrived.
class CaptureRecorder {
public:
    AudioCallback callback();

    // Waits until more than `frames` frames arrived in total; false on timeout.
    bool waitForFrames(uint64_t frames, std::chrono::seconds timeout = std::chrono::seconds(10));
    // Waits until `frames` frames arrived after the first non-zero sample.
    bool waitForSound(uint64_t frames, std::chrono::seconds timeout = std::chrono::seconds(10));

    uint64_t frames() const;
    uint64_t packets() const;
    bool sawNonZeroSample() const;
    AudioFormat lastFormat() const;
    // First-channel samples from the first non-zero one on.
    std::vector<int16_t> soundSamples() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    uint64_t frames_ = 0;
    uint64_t packets_ = 0;
    AudioFormat format_;
    bool badPacket_ = false;
    std::vector<int16_t> sound_;  // starts at the first non-zero sample
};

// The frequency (Hz) with the most power between fromHz and toHz, scanned in
// stepHz steps with the Goertzel filter.
double dominantFrequency(const std::vector<int16_t>& samples, int sampleRate, double fromHz,
                         double toHz, double stepHz);

// Writes frames of a sine tone into every channel, continuing from phase.
void writeTone(int16_t* out, uint32_t frames, int channels, int sampleRate, double hz,
               double amplitude, double* phase);

// Plays `seconds` of a 1 kHz-style tone into the named sink through pacat in
// the given sample format ("s16le" or "float32le"); blocks until it is played.
// True when pacat succeeded.
bool playToneWithPacat(const std::string& sink, const std::string& sampleFormat, int sampleRate,
                       int channels, double hz, double seconds);

// Runs a shell command; returns its standard output (empty on failure).
std::string runCommand(const std::string& command);
// Lines of the output that contain `needle`.
int countLinesContaining(const std::string& text, const std::string& needle);
