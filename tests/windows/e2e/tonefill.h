// Fills render buffers with a continuous sine tone, every channel alike.
#pragma once

#include <cstdint>

#include "libcapture/desktopsharing/audiodevice.h"

class ToneFill {
public:
    ToneFill(double frequencyHz, double amplitude)
        : frequencyHz_(frequencyHz), amplitude_(amplitude)
    {
    }
    // A render device's fill callback: 16-bit interleaved samples.
    void operator()(const AudioFormat* format, uint8_t* data, uint32_t frames);

private:
    double frequencyHz_;
    double amplitude_;  // of full scale, 0..1
    double phase_ = 0;  // radians, carried from one buffer to the next
};
