// The audio devices the pipeline's audio capture is built on: a loopback capture
// of what the machine plays, and a player that keeps the output running (silence)
// while capture runs. WASAPI on Windows, PulseAudio on Linux, a test tone in tests.
#pragma once

#include <cstdint>
#include <functional>

struct AudioFormat {
    int channels = 0;
    int sampleRate = 0;     // Hz
    int bitsPerSample = 0;  // 16 after init: devices deliver signed 16-bit PCM
    int blockAlign = 0;     // bytes per frame (one sample of every channel)
};

// (format, data, frames): data holds frames * blockAlign bytes of interleaved
// samples; valid only during the call, which runs on the device's own thread.
using AudioCallback = std::function<void(const AudioFormat* format, uint8_t* data, uint32_t frames)>;

class AudioCaptureDevice {
public:
    virtual ~AudioCaptureDevice() = default;
    virtual int init() = 0;  // 0, or -1 after printing why; 0 at once when initialised
    virtual const AudioFormat* mixFormat() const = 0;  // valid after init
    virtual void setCallback(AudioCallback callback) = 0;
    virtual int start() = 0;  // -1 before init; 0 when already started
    virtual int stop() = 0;   // 0 when not started
};

class AudioRenderDevice {
public:
    virtual ~AudioRenderDevice() = default;
    virtual int init() = 0;
    // The callback fills each (already zeroed) buffer; -1 before init, 0 when
    // already started (the new callback is dropped).
    virtual int start(AudioCallback fill) = 0;
    virtual int stop() = 0;
};
