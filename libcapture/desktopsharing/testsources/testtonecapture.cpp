#include "libcapture/desktopsharing/testsources/testtonecapture.h"

#include <chrono>
#include <cmath>

TestToneCapture::TestToneCapture(int sampleRate, int channels, double frequency, double amplitude)
    : frequency_(frequency), amplitude_(amplitude)
{
    format_.channels = channels;
    format_.sampleRate = sampleRate;
    format_.bitsPerSample = 16;
    format_.blockAlign = channels * 2;
}

TestToneCapture::~TestToneCapture() { stop(); }

int TestToneCapture::init()
{
    if (format_.channels <= 0 || format_.sampleRate < 100) return -1;
    initialized_ = true;
    return 0;
}

void TestToneCapture::setCallback(AudioCallback callback)
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback_ = std::move(callback);
}

int TestToneCapture::start()
{
    if (!initialized_) return -1;
    if (running_) return 0;
    running_ = true;
    thread_ = std::thread(&TestToneCapture::run, this);
    return 0;
}

int TestToneCapture::stop()
{
    running_ = false;
    if (thread_.joinable()) thread_.join();
    return 0;
}

void TestToneCapture::fill(int16_t* samples, uint32_t frames)
{
    const double twoPi = 6.283185307179586;
    const double peak = amplitude_ * 32767.0;
    for (uint32_t i = 0; i < frames; ++i) {
        double t = static_cast<double>(phaseFrames_ + i) / format_.sampleRate;
        int16_t value = static_cast<int16_t>(std::lround(peak * std::sin(twoPi * frequency_ * t)));
        for (int c = 0; c < format_.channels; ++c) samples[i * format_.channels + c] = value;
    }
    // Whole seconds hold whole periods of an integral frequency: wrap to keep
    // the argument of sin small without a phase jump.
    phaseFrames_ = (phaseFrames_ + frames) % static_cast<uint64_t>(format_.sampleRate);
}

void TestToneCapture::run()
{
    // 10 ms packets in real time, paced against the steady clock so that the
    // rate does not drift with scheduling delays.
    const uint32_t frames = static_cast<uint32_t>(format_.sampleRate / 100);
    const auto period = std::chrono::milliseconds(10);
    packet_.assign(static_cast<size_t>(frames) * format_.channels, 0);
    auto next = std::chrono::steady_clock::now();
    while (running_) {
        fill(packet_.data(), frames);
        {
            std::lock_guard<std::mutex> lock(callbackMutex_);
            if (callback_) callback_(&format_, reinterpret_cast<uint8_t*>(packet_.data()), frames);
        }
        framesDelivered_ += frames;
        next += period;
        std::this_thread::sleep_until(next);
    }
}
