// The pipeline's source of audio: a capture device (system loopback or test
// tone), a render device kept playing silence while capture runs (a loopback
// capture only sees what is being played), and the buffer between the capture's
// thread and the pipeline's audio loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "libcapture/desktopsharing/audiobuffer.h"
#include "libcapture/desktopsharing/audiodevice.h"
#include "libcapture/desktopsharing/devicefactory.h"

struct SwrContext;

class AudioCapture {
public:
    static AudioCapture& instance();

    AudioCapture();
    ~AudioCapture();
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    // 0 or -1. Initialises once: a later call with the same kind keeps the first
    // buffer and format; another kind re-initialises with that kind's devices.
    int init(int bufferBytes, AudioSourceKind kind = AudioSourceKind::System);
    // Re-initialises with the given devices (tests, or devices made elsewhere),
    // which then count as the devices of `kind`.
    int initWithDevices(int bufferBytes, std::unique_ptr<AudioCaptureDevice> capture,
                        std::unique_ptr<AudioRenderDevice> renderer, AudioSourceKind kind);

    int start();  // 0 or -1; empties the buffer
    int stop();   // 0, or -1 when not initialised
    int exit();   // 0; stops, stays initialised

    bool isInitialized() const { return initialized_; }
    bool isStarted() const { return started_; }
    int getChannels() const { return channels_; }
    int getSampleRate() const { return sampleRate_; }  // of the stream (after resampling)
    int getBitsPerSample() const { return bitsPerSample_; }

    int availableFrames() const;
    // Copies exactly `frames` frames or nothing; returns frames, or 0.
    int read(uint8_t* destination, int frames);

    // The capture device's callback: stores one delivery (resampled to 48000 Hz
    // when the device's rate is not one an AAC stream can carry).
    void write(const AudioFormat* format, const uint8_t* data, uint32_t frames);

    std::shared_ptr<AudioBuffer> buffer() const { return buffer_; }

    // Whether an AAC (ADTS) stream can carry this sample rate.
    static bool isStreamableRate(int sampleRate);
    static constexpr int kFallbackRate = 48000;

private:
    int initDevices(int bufferBytes, std::unique_ptr<AudioCaptureDevice> capture,
                    std::unique_ptr<AudioRenderDevice> renderer);
    void releaseDevices();
    const uint8_t* resample(const AudioFormat* format, const uint8_t* data, uint32_t& bytes);

    std::mutex lifecycleMutex_;  // init, start, stop, exit
    bool initialized_ = false;
    std::atomic<bool> started_{false};
    AudioSourceKind kind_ = AudioSourceKind::System;
    std::atomic<int> channels_{0};
    std::atomic<int> sampleRate_{0};
    std::atomic<int> bitsPerSample_{0};
    std::unique_ptr<AudioRenderDevice> player_;
    std::unique_ptr<AudioCaptureDevice> capture_;
    std::shared_ptr<AudioBuffer> buffer_;

    // Touched only on the capture's thread (inside write).
    SwrContext* resampler_ = nullptr;
    int resamplerRate_ = 0;
    int resamplerChannels_ = 0;
    std::vector<uint8_t> resampled_;
};
