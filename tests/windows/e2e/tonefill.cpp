#include "tests/windows/e2e/tonefill.h"

#include <cmath>
#include <cstring>

void ToneFill::operator()(const AudioFormat* format, uint8_t* data, uint32_t frames)
{
    if (!format || format->bitsPerSample != 16 || format->sampleRate <= 0) return;
    const double step = 2 * M_PI * frequencyHz_ / format->sampleRate;
    for (uint32_t frame = 0; frame < frames; ++frame) {
        const auto sample =
            static_cast<int16_t>(std::lround(amplitude_ * 32767 * std::sin(phase_)));
        uint8_t* out = data + static_cast<size_t>(frame) * format->blockAlign;
        for (int channel = 0; channel < format->channels; ++channel)
            std::memcpy(out + channel * 2, &sample, 2);
        phase_ = std::fmod(phase_ + step, 2 * M_PI);
    }
}
