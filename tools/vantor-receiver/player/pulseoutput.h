// Plays interleaved 16-bit sound on the default PulseAudio sink with a small,
// fixed buffer, and tells how long a block written now takes to be heard.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct pa_simple;

namespace vantor::receiver {

class PulseOutput {
public:
    PulseOutput() = default;
    ~PulseOutput();
    PulseOutput(const PulseOutput&) = delete;
    PulseOutput& operator=(const PulseOutput&) = delete;

    bool open(int sampleRate, int channels, int bufferMs, std::string* error);
    bool isOpen() const { return stream_ != nullptr; }
    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }
    // Blocks while the buffer is full.
    bool write(const int16_t* samples, int frames, std::string* error);
    // Nanoseconds until a sample written now is played; 0 when unknown.
    int64_t latencyNs() const;
    void close();

private:
    pa_simple* stream_ = nullptr;
    int sampleRate_ = 0;
    int channels_ = 0;
};

}  // namespace vantor::receiver
