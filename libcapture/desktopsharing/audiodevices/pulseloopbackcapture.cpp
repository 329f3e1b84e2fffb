#include "libcapture/desktopsharing/audiodevices/pulseloopbackcapture.h"

#include <cstdio>
#include <cstring>

namespace {

const char kPrefix[] = "[PulseLoopbackCapture]";
constexpr pa_usec_t kFragmentUsec = 10 * PA_USEC_PER_MSEC;  // low latency: ~10 ms packets
constexpr size_t kInitialPacketBytes = 64 * 1024;           // larger than any usual fragment

void report(const char* what)
{
    std::printf("%s %s\n", kPrefix, what);
    std::fflush(stdout);
}

}  // namespace

PulseLoopbackCapture::PulseLoopbackCapture() : connection_(kPrefix, "Vantor loopback capture")
{
    packet_.resize(kInitialPacketBytes);
}

PulseLoopbackCapture::~PulseLoopbackCapture() { stop(); }

int PulseLoopbackCapture::init()
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (initialized_) return 0;
    if (connection_.connect() < 0) return -1;
    if (connection_.queryDefaultSink(&sink_) < 0) return -1;

    // The sink may mix in float; we always record 16-bit at its rate and channels.
    sampleSpec_ = sink_.sampleSpec;
    sampleSpec_.format = PA_SAMPLE_S16LE;
    format_.channels = sampleSpec_.channels;
    format_.sampleRate = static_cast<int>(sampleSpec_.rate);
    format_.bitsPerSample = 16;
    format_.blockAlign = format_.channels * 2;
    initialized_ = true;
    return 0;
}

void PulseLoopbackCapture::setCallback(AudioCallback callback)
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback_ = std::move(callback);
}

int PulseLoopbackCapture::start()
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (!initialized_) return -1;
    if (started_) return 0;

    // The server may have gone away since init (restarted, or a new session):
    // then connect again and follow the default sink. The format stays the one
    // reported at init; the server converts to it.
    if (!connection_.isConnected() && connection_.reconnectToDefaultSink(&sink_) < 0) return -1;
    const char* failure = openStream();
    if (failure && !connection_.isConnected()) {  // it went away just now
        if (connection_.reconnectToDefaultSink(&sink_) < 0) return -1;
        failure = openStream();
    }
    if (failure) {
        report(failure);
        return -1;
    }
    started_ = true;
    return 0;
}

const char* PulseLoopbackCapture::openStream()
{
    PulseLoopLock loop(connection_.mainloop());
    pa_channel_map* map =
        sink_.channelMap.channels == sampleSpec_.channels ? &sink_.channelMap : nullptr;
    stream_ = pa_stream_new(connection_.context(), "System audio loopback", &sampleSpec_, map);
    if (!stream_) return "Failed to create stream.";
    pendingBytes_ = 0;
    streamWasReady_ = false;
    pa_stream_set_state_callback(stream_, onStreamState, this);
    pa_stream_set_read_callback(stream_, onRead, this);

    pa_buffer_attr attr;
    std::memset(&attr, 0xff, sizeof attr);  // -1: the server's choice
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentUsec, &sampleSpec_));
    if (pa_stream_connect_record(stream_, sink_.monitorSource.c_str(), &attr,
                                 PA_STREAM_ADJUST_LATENCY) < 0 ||
        !connection_.waitForStream(stream_)) {
        releaseStream();
        return "Failed to start stream.";
    }
    return nullptr;
}

int PulseLoopbackCapture::stop()
{
    std::lock_guard<std::mutex> state(stateMutex_);
    if (!started_) return 0;
    started_ = false;
    PulseLoopLock loop(connection_.mainloop());
    // Once the loop lock is ours no packet is being delivered, and after the
    // disconnect none will be.
    const pa_stream_state_t streamState = pa_stream_get_state(stream_);
    const bool stopped = !PA_STREAM_IS_GOOD(streamState) || pa_stream_disconnect(stream_) >= 0;
    releaseStream();
    if (!stopped) {
        report("Failed to stop stream.");
        return -1;
    }
    return 0;
}

void PulseLoopbackCapture::releaseStream()
{
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

void PulseLoopbackCapture::onStreamState(pa_stream* stream, void* userdata)
{
    auto* self = static_cast<PulseLoopbackCapture*>(userdata);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY) self->streamWasReady_ = true;
    // E.g. the server went away: capture ends until stop and start again.
    if (state == PA_STREAM_FAILED && self->streamWasReady_) report("Capture stream failed.");
    self->connection_.signal();
}

void PulseLoopbackCapture::onRead(pa_stream* stream, size_t, void* userdata)
{
    static_cast<PulseLoopbackCapture*>(userdata)->readAvailable(stream);
}

void PulseLoopbackCapture::readAvailable(pa_stream* stream)
{
    while (pa_stream_readable_size(stream) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream, &data, &bytes) < 0) {
            report("Failed to get buffer.");
            return;
        }
        if (bytes == 0) return;  // nothing queued after all: no drop
        deliver(static_cast<const uint8_t*>(data), bytes);
        pa_stream_drop(stream);
    }
}

void PulseLoopbackCapture::deliver(const uint8_t* data, size_t bytes)
{
    const size_t blockAlign = static_cast<size_t>(format_.blockAlign);
    const size_t total = pendingBytes_ + bytes;
    if (packet_.size() < total) packet_.resize(total);
    if (data)
        std::memcpy(packet_.data() + pendingBytes_, data, bytes);
    else
        std::memset(packet_.data() + pendingBytes_, 0, bytes);

    const size_t frames = total / blockAlign;
    const size_t whole = frames * blockAlign;
    if (frames > 0) {
        std::lock_guard<std::mutex> lock(callbackMutex_);
        if (callback_) callback_(&format_, packet_.data(), static_cast<uint32_t>(frames));
    }
    // Keep a split frame for the next read so channels never swap.
    pendingBytes_ = total - whole;
    if (pendingBytes_ > 0) std::memmove(packet_.data(), packet_.data() + whole, pendingBytes_);
}
