#include "libcapture/desktopsharing/audiodevices/pulse/pulsestream.h"

PulseStream::PulseStream(const char* logPrefix, const char* clientName, const char* streamName,
                         const char* failedMessage, std::function<void()> released)
    : streamName_(streamName),
      failedMessage_(failedMessage),
      released_(std::move(released)),
      connection_(logPrefix, clientName)
{
}

PulseStream::~PulseStream() { stop(); }

int PulseStream::init()
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (initialized_) return 0;
    if (connection_.connect() < 0) return -1;
    if (connection_.queryDefaultSink(&sink_) < 0) return -1;

    // The sink may mix in float; we always use 16-bit at its rate. A surround
    // output (six or eight channels on HDMI) is taken as stereo, which the server
    // downmixes: the AAC encoder and most receivers take at most two channels.
    sampleSpec_ = sink_.sampleSpec;
    sampleSpec_.format = PA_SAMPLE_S16LE;
    if (sampleSpec_.channels > kMaxChannels) sampleSpec_.channels = kMaxChannels;
    format_.channels = sampleSpec_.channels;
    format_.sampleRate = static_cast<int>(sampleSpec_.rate);
    format_.bitsPerSample = 16;
    format_.blockAlign = format_.channels * 2;
    initialized_ = true;
    return 0;
}

int PulseStream::start(const Connect& connect)
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (!initialized_) return -1;
    if (started_) return 0;

    // The server may have gone away since init (restarted, or a new session):
    // then connect again and follow the default sink. The format stays the one
    // reported at init; the server converts to it.
    if (!connection_.isConnected() && connection_.reconnectToDefaultSink(&sink_) < 0) return -1;
    const char* failure = open(connect);
    if (failure && !connection_.isConnected()) {  // it went away just now
        if (connection_.reconnectToDefaultSink(&sink_) < 0) return -1;
        failure = open(connect);
    }
    if (failure) {
        report(failure);
        return -1;
    }
    started_ = true;
    return 0;
}

const char* PulseStream::open(const Connect& connect)
{
    PulseLoopLock loop(connection_.mainloop());
    pa_channel_map* map =
        sink_.channelMap.channels == sampleSpec_.channels ? &sink_.channelMap : nullptr;
    stream_ = pa_stream_new(connection_.context(), streamName_, &sampleSpec_, map);
    if (!stream_) return "Failed to create stream.";
    wasReady_ = false;
    pa_stream_set_state_callback(stream_, onState, this);
    if (connect(stream_, sink_, sampleSpec_) < 0 || !connection_.waitForStream(stream_)) {
        release();
        return "Failed to start stream.";
    }
    return nullptr;
}

int PulseStream::stop()
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (!started_) return 0;
    started_ = false;
    PulseLoopLock loop(connection_.mainloop());
    // Once the loop lock is ours no data callback is running, and after the
    // disconnect none will run.
    const bool stopped =
        !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)) || pa_stream_disconnect(stream_) >= 0;
    release();
    if (!stopped) {
        report("Failed to stop stream.");
        return -1;
    }
    return 0;
}

void PulseStream::release()
{
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    // Whichever of the two the owner set; the other is unused on this stream.
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
    if (released_) released_();
}

void PulseStream::onState(pa_stream* stream, void* userdata)
{
    auto* self = static_cast<PulseStream*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY) self->wasReady_ = true;
    // E.g. the server went away: the stream stays down until stop and start again.
    if (state == PA_STREAM_FAILED && self->wasReady_) self->report(self->failedMessage_);
    self->connection_.signal();
}
