#include "libcapture/desktopsharing/audiodevices/pulsesilenceplayer.h"

#include <cstdio>
#include <cstring>

namespace {

const char kPrefix[] = "[PulseSilencePlayer]";
// Silence needs no deep queue; a short one keeps a fill callback's audio prompt.
constexpr pa_usec_t kTargetLatencyUsec = 50 * PA_USEC_PER_MSEC;

void report(const char* what)
{
    std::printf("%s %s\n", kPrefix, what);
    std::fflush(stdout);
}

}  // namespace

PulseSilencePlayer::PulseSilencePlayer() : connection_(kPrefix, "Vantor silence player") {}

PulseSilencePlayer::~PulseSilencePlayer() { stop(); }

int PulseSilencePlayer::init()
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (initialized_) return 0;
    if (connection_.connect() < 0) return -1;
    if (connection_.queryDefaultSink(&sink_) < 0) return -1;

    sampleSpec_ = sink_.sampleSpec;
    sampleSpec_.format = PA_SAMPLE_S16LE;
    format_.channels = sampleSpec_.channels;
    format_.sampleRate = static_cast<int>(sampleSpec_.rate);
    format_.bitsPerSample = 16;
    format_.blockAlign = format_.channels * 2;
    initialized_ = true;
    return 0;
}

int PulseSilencePlayer::start(AudioCallback fill)
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (!initialized_) return -1;
    if (started_) return 0;  // the running stream keeps its callback

    // The server may have gone away since init (restarted, or a new session):
    // then connect again and follow the default sink. The format stays the one
    // reported at init; the server converts to it.
    if (!connection_.isConnected() && connection_.reconnectToDefaultSink(&sink_) < 0) return -1;
    const char* failure = openStream(fill);
    if (failure && !connection_.isConnected()) {  // it went away just now
        if (connection_.reconnectToDefaultSink(&sink_) < 0) return -1;
        failure = openStream(fill);
    }
    if (failure) {
        report(failure);
        return -1;
    }
    started_ = true;
    return 0;
}

const char* PulseSilencePlayer::openStream(const AudioCallback& fill)
{
    PulseLoopLock loop(connection_.mainloop());
    pa_channel_map* map =
        sink_.channelMap.channels == sampleSpec_.channels ? &sink_.channelMap : nullptr;
    stream_ = pa_stream_new(connection_.context(), "Silence", &sampleSpec_, map);
    if (!stream_) return "Failed to create stream.";
    fill_ = fill;
    streamWasReady_ = false;
    pa_stream_set_state_callback(stream_, onStreamState, this);
    pa_stream_set_write_callback(stream_, onWrite, this);

    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof attr);  // -1: the server's choice
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyUsec, &sampleSpec_));
    if (pa_stream_connect_playback(stream_, sink_.name.c_str(), &attr, PA_STREAM_ADJUST_LATENCY,
                                   nullptr, nullptr) < 0 ||
        !connection_.waitForStream(stream_)) {
        releaseStream();
        return "Failed to start stream.";
    }
    return nullptr;
}

int PulseSilencePlayer::stop()
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (!started_) return 0;
    started_ = false;
    PulseLoopLock loop(connection_.mainloop());
    const bool stopped =
        !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)) || pa_stream_disconnect(stream_) >= 0;
    releaseStream();
    if (!stopped) {
        report("Failed to stop stream.");
        return -1;
    }
    return 0;
}

void PulseSilencePlayer::releaseStream()
{
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
    fill_ = nullptr;
}

void PulseSilencePlayer::onStreamState(pa_stream* stream, void* userdata)
{
    auto* self = static_cast<PulseSilencePlayer*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY) self->streamWasReady_ = true;
    if (state == PA_STREAM_FAILED && self->streamWasReady_) report("Playback stream failed.");
    self->connection_.signal();
}

void PulseSilencePlayer::onWrite(pa_stream* stream, size_t bytes, void* userdata)
{
    static_cast<PulseSilencePlayer*>(userdata)->fill(stream, bytes);
}

void PulseSilencePlayer::fill(pa_stream* stream, size_t bytes)
{
    const size_t blockAlign = static_cast<size_t>(format_.blockAlign);
    while (bytes >= blockAlign) {
        void* buffer = nullptr;
        size_t length = bytes;
        if (pa_stream_begin_write(stream, &buffer, &length) < 0 || !buffer) {
            report("Failed to get buffer.");
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
            fill_(&format_, static_cast<uint8_t*>(buffer),
                  static_cast<uint32_t>(length / blockAlign));
        if (pa_stream_write(stream, buffer, length, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            report("Failed to release buffer.");
            return;
        }
        bytes -= length;
    }
}
