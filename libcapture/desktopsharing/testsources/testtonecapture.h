// A synthetic loopback capture: a sine tone (1 kHz, stereo, 48 kHz, 16-bit by
// default) delivered in 10 ms packets on its own thread, paced by the steady
// clock like a real device.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "libcapture/desktopsharing/audiodevice.h"

class TestToneCapture : public AudioCaptureDevice {
public:
    // amplitude 0 gives digital silence.
    explicit TestToneCapture(int sampleRate = 48000, int channels = 2, double frequency = 1000.0,
                             double amplitude = 0.25);
    ~TestToneCapture() override;

    int init() override;
    const AudioFormat* mixFormat() const override { return &format_; }
    void setCallback(AudioCallback callback) override;
    int start() override;
    int stop() override;

    uint64_t framesDelivered() const { return framesDelivered_; }
    // True from start() until stop() has ended the delivering thread. Ask it from
    // the thread that starts and stops the device.
    bool isDelivering() const { return thread_.joinable(); }

private:
    void run();
    void fill(int16_t* samples, uint32_t frames);

    AudioFormat format_;
    const double frequency_;
    const double amplitude_;
    bool initialized_ = false;
    std::mutex callbackMutex_;
    AudioCallback callback_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<uint64_t> framesDelivered_{0};
    uint64_t phaseFrames_ = 0;
    std::vector<int16_t> packet_;
};
