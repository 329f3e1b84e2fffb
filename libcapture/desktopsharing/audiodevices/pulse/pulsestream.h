// The part both audio devices share: one stream on the default sink and the
// connection it lives on. init finds the sink and fixes the format (16-bit at
// the sink's rate and channels), start opens the stream (connecting again when
// the server went away), stop closes it. The owner supplies what differs, the
// direction with its data callback and buffer attributes, and reports its own
// loop-thread failures through report() so they carry its prefix.
#pragma once

#include <functional>
#include <mutex>

#include "libcapture/desktopsharing/audiodevice.h"
#include "libcapture/desktopsharing/audiodevices/pulse/pulseconnection.h"

class PulseStream {
public:
    // With the loop locked, on a new stream that has its state callback: sets
    // the data callback and connects for recording or playback. Returns what
    // pa_stream_connect_record or pa_stream_connect_playback returned.
    using Connect = std::function<int(pa_stream* stream, const PulseSinkInfo& sink,
                                      const pa_sample_spec& sampleSpec)>;

    // failedMessage is printed when a stream that was running fails. released
    // (optional) runs with the loop locked once a stream is gone, so the owner
    // can drop what its data callback used.
    PulseStream(const char* logPrefix, const char* clientName, const char* streamName,
                const char* failedMessage, std::function<void()> released = nullptr);
    ~PulseStream();  // stops a running stream
    PulseStream(const PulseStream&) = delete;
    PulseStream& operator=(const PulseStream&) = delete;

    // The device's init, start and stop, serialised by one state mutex that is
    // always taken before the loop lock.
    int init();                         // 0 at once when initialised, or -1 after printing why
    int start(const Connect& connect);  // -1 before init; 0 when already started
    int stop();                         // 0 when not started

    const AudioFormat* format() const { return &format_; }  // valid after init
    void report(const char* what) const { connection_.report(what); }

private:
    static constexpr uint8_t kMaxChannels = 2;

    static void onState(pa_stream* stream, void* userdata);
    // With the state lock held: creates and connects the stream; nullptr, or
    // the failure message (the stream is released then).
    const char* open(const Connect& connect);
    void release();  // loop locked

    const char* streamName_;
    const char* failedMessage_;
    std::function<void()> released_;
    std::mutex stateMutex_;
    bool initialized_ = false;
    bool started_ = false;
    PulseConnection connection_;
    PulseSinkInfo sink_;
    pa_sample_spec sampleSpec_{};
    AudioFormat format_;
    pa_stream* stream_ = nullptr;
    bool wasReady_ = false;  // loop thread: only a stream that ran reports its failure
};
