#include "libcapture/desktopsharing/audiodevices/pulse/pulseloopbackcapture.h"

#include <cstring>

namespace {

constexpr pa_usec_t kFragmentUsec = 10 * PA_USEC_PER_MSEC;  // low latency: ~10 ms packets
constexpr size_t kInitialPacketBytes = 64 * 1024;           // larger than any usual fragment

}  // namespace

PulseLoopbackCapture::PulseLoopbackCapture()
    : stream_("[PulseLoopbackCapture]", "Vantor loopback capture", "System audio loopback",
              "Capture stream failed.")
{
    packet_.resize(kInitialPacketBytes);
}

PulseLoopbackCapture::~PulseLoopbackCapture() { stop(); }

void PulseLoopbackCapture::setCallback(AudioCallback callback)
{
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback_ = std::move(callback);
}

int PulseLoopbackCapture::start()
{
    return stream_.start(
        [this](pa_stream* stream, const PulseSinkInfo& sink, const pa_sample_spec& sampleSpec) {
            pendingBytes_ = 0;
            pa_stream_set_read_callback(stream, onRead, this);
            pa_buffer_attr attr;
            std::memset(&attr, 0xff, sizeof attr);  // -1: the server's choice
            attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentUsec, &sampleSpec));
            return pa_stream_connect_record(stream, sink.monitorSource.c_str(), &attr,
                                            PA_STREAM_ADJUST_LATENCY);
        });
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
            stream_.report("Failed to get buffer.");
            return;
        }
        if (bytes == 0) return;  // nothing queued after all: no drop
        deliver(static_cast<const uint8_t*>(data), bytes);
        pa_stream_drop(stream);
    }
}

void PulseLoopbackCapture::deliver(const uint8_t* data, size_t bytes)
{
    const AudioFormat* format = stream_.format();
    const size_t blockAlign = static_cast<size_t>(format->blockAlign);
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
        if (callback_) callback_(format, packet_.data(), static_cast<uint32_t>(frames));
    }
    // Keep a split frame for the next read so channels never swap.
    pendingBytes_ = total - whole;
    if (pendingBytes_ > 0) std::memmove(packet_.data(), packet_.data() + whole, pendingBytes_);
}
