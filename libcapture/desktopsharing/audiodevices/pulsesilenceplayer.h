// Keeps the default sink playing while we capture it: a playback stream in the
// capture's format (16-bit at the sink's rate and channels) whose buffers are
// zeroed and then handed to the fill callback whenever the server asks for data.
#pragma once

#include <mutex>

#include "libcapture/desktopsharing/audiodevice.h"
#include "libcapture/desktopsharing/audiodevices/pulseconnection.h"

class PulseSilencePlayer : public AudioRenderDevice {
public:
    PulseSilencePlayer();
    ~PulseSilencePlayer() override;  // stops a running stream

    int init() override;
    // An empty callback plays silence. The callback runs on the PulseAudio loop
    // thread and must not call stop.
    int start(AudioCallback fill) override;
    int stop() override;

    const AudioFormat* format() const { return &format_; }  // valid after init

private:
    static void onWrite(pa_stream* stream, size_t bytes, void* userdata);
    static void onStreamState(pa_stream* stream, void* userdata);
    void fill(pa_stream* stream, size_t bytes);
    // With the state lock held: creates and connects the stream; nullptr, or
    // the failure message (the stream is released then).
    const char* openStream(const AudioCallback& fill);
    void releaseStream();

    std::mutex stateMutex_;  // init, start, stop
    bool initialized_ = false;
    bool started_ = false;
    PulseConnection connection_;
    PulseSinkInfo sink_;
    pa_sample_spec sampleSpec_{};
    AudioFormat format_;
    pa_stream* stream_ = nullptr;
    // Set by start before the stream exists; read on the loop thread only.
    AudioCallback fill_;
    bool streamWasReady_ = false;
};
