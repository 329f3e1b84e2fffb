// Keeps the default sink playing while we capture it: a playback stream in the
// capture's format (16-bit at the sink's rate and channels) whose buffers are
// zeroed and then handed to the fill callback whenever the server asks for data.
#pragma once

#include "libcapture/desktopsharing/audiodevice.h"
#include "libcapture/desktopsharing/audiodevices/pulse/pulsestream.h"

class PulseSilencePlayer : public AudioRenderDevice {
public:
    PulseSilencePlayer();
    ~PulseSilencePlayer() override;  // stops a running stream

    int init() override { return stream_.init(); }
    // An empty callback plays silence. The callback runs on the PulseAudio loop
    // thread and must not call stop.
    int start(AudioCallback fill) override;
    int stop() override { return stream_.stop(); }

    const AudioFormat* format() const { return stream_.format(); }  // valid after init

private:
    static void onWrite(pa_stream* stream, size_t bytes, void* userdata);
    void fill(pa_stream* stream, size_t bytes);

    // Set when a stream is opened, dropped when it is gone (both with the loop
    // locked); read on the loop thread only.
    AudioCallback fill_;
    PulseStream stream_;
};
