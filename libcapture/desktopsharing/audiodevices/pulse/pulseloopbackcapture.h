// Records what the machine plays: the monitor source of the default sink (as
// found at init), as signed 16-bit little-endian PCM at the sink's own rate and
// channel count, in fragments of about 10 ms. Each packet reaches the callback
// on the PulseAudio loop thread.
#pragma once

#include <mutex>
#include <vector>

#include "libcapture/desktopsharing/audiodevice.h"
#include "libcapture/desktopsharing/audiodevices/pulse/pulsestream.h"

class PulseLoopbackCapture : public AudioCaptureDevice {
public:
    PulseLoopbackCapture();
    ~PulseLoopbackCapture() override;  // stops a running stream

    int init() override { return stream_.init(); }
    const AudioFormat* mixFormat() const override { return stream_.format(); }
    // Allowed at any time; never replaces the callback in the middle of a call.
    // The callback must not call setCallback or stop.
    void setCallback(AudioCallback callback) override;
    int start() override;
    int stop() override { return stream_.stop(); }

private:
    static void onRead(pa_stream* stream, size_t bytes, void* userdata);
    void readAvailable(pa_stream* stream);
    void deliver(const uint8_t* data, size_t bytes);  // nullptr: a hole, delivered as zeros

    std::mutex callbackMutex_;
    AudioCallback callback_;
    // Loop thread only: the packet handed to the callback (reused, grows when a
    // packet is larger) and the bytes of a frame split across two reads.
    std::vector<uint8_t> packet_;
    size_t pendingBytes_ = 0;
    PulseStream stream_;
};
