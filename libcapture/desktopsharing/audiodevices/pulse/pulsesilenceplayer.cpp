#include "libcapture/desktopsharing/audiodevices/pulse/pulsesilenceplayer.h"

#include <cstring>

namespace {

// Silence needs no deep queue; a short one keeps a fill callback's audio prompt.
constexpr pa_usec_t kTargetLatencyUsec = 50 * PA_USEC_PER_MSEC;

}  // namespace

PulseSilencePlayer::PulseSilencePlayer()
    : stream_("[PulseSilencePlayer]", "Vantor silence player", "Silence", "Playback stream failed.",
              [this] { fill_ = nullptr; })
{
}

PulseSilencePlayer::~PulseSilencePlayer() { stop(); }

int PulseSilencePlayer::start(AudioCallback fill)
{
    // Already started: this never runs, and the running stream keeps its callback.
    return stream_.start([this, &fill](pa_stream* stream, const PulseSinkInfo& sink,
                                       const pa_sample_spec& sampleSpec) {
        fill_ = fill;
        pa_stream_set_write_callback(stream, onWrite, this);
        pa_buffer_attr attr;
        std::memset(&attr, 0xff, sizeof attr);  // -1: the server's choice
        attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyUsec, &sampleSpec));
        return pa_stream_connect_playback(stream, sink.name.c_str(), &attr,
                                          PA_STREAM_ADJUST_LATENCY, nullptr, nullptr);
    });
}

void PulseSilencePlayer::onWrite(pa_stream* stream, size_t bytes, void* userdata)
{
    static_cast<PulseSilencePlayer*>(userdata)->fill(stream, bytes);
}

void PulseSilencePlayer::fill(pa_stream* stream, size_t bytes)
{
    const AudioFormat* format = stream_.format();
    const size_t blockAlign = static_cast<size_t>(format->blockAlign);
    while (bytes >= blockAlign) {
        void* buffer = nullptr;
        size_t length = bytes;
        if (pa_stream_begin_write(stream, &buffer, &length) < 0 || !buffer) {
            stream_.report("Failed to get buffer.");
            return;
        }
        length -= length % blockAlign;
        if (length == 0) {
            pa_stream_cancel_write(stream);
            return;
        }
        // Zeroed first: an empty or partial fill still plays silence.
        std::memset(buffer, 0, length);
        if (fill_)
            fill_(format, static_cast<uint8_t*>(buffer),
                  static_cast<uint32_t>(length / blockAlign));
        if (pa_stream_write(stream, buffer, length, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            stream_.report("Failed to release buffer.");
            return;
        }
        bytes -= length;
    }
}
