#include "tools/vantor-receiver/player/pulseoutput.h"

#include <pulse/error.h>
#include <pulse/simple.h>

namespace vantor::receiver {

PulseOutput::~PulseOutput() { close(); }

bool PulseOutput::open(int sampleRate, int channels, int bufferMs, std::string* error)
{
    close();
    pa_sample_spec spec;
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = uint32_t(sampleRate);
    spec.channels = uint8_t(channels);
    if (!pa_sample_spec_valid(&spec)) {
        *error = "cannot play " + std::to_string(channels) + " channels at " +
                 std::to_string(sampleRate) + " Hz";
        return false;
    }
    // The whole buffer, ours and the server's, is kept to about bufferMs; playback
    // starts once it is full.
    pa_buffer_attr attributes;
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = uint32_t(pa_usec_to_bytes(pa_usec_t(bufferMs) * 1000, &spec));
    attributes.prebuf = uint32_t(-1);
    attributes.minreq = uint32_t(-1);
    attributes.fragsize = uint32_t(-1);
    int code = 0;
    stream_ = pa_simple_new(nullptr, "vantor-receiver", PA_STREAM_PLAYBACK, nullptr, "cast sound",
                            &spec, nullptr, &attributes, &code);
    if (!stream_) {
        *error = std::string("no sound server: ") + pa_strerror(code);
        return false;
    }
    sampleRate_ = sampleRate;
    channels_ = channels;
    return true;
}

bool PulseOutput::write(const int16_t* samples, int frames, std::string* error)
{
    int code = 0;
    if (pa_simple_write(stream_, samples, size_t(frames) * channels_ * sizeof(int16_t), &code) == 0)
        return true;
    *error = pa_strerror(code);
    return false;
}

int64_t PulseOutput::latencyNs() const
{
    int code = 0;
    const pa_usec_t latency = pa_simple_get_latency(stream_, &code);
    return latency == pa_usec_t(-1) ? 0 : int64_t(latency) * 1000;
}

void PulseOutput::close()
{
    if (stream_) pa_simple_free(stream_);
    stream_ = nullptr;
}

}  // namespace vantor::receiver
