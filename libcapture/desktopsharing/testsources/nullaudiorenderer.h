// The render device of the test-tone path: nothing is played, so it only
// accepts start and stop.
#pragma once

#include "libcapture/desktopsharing/audiodevice.h"

class NullAudioRenderer : public AudioRenderDevice {
public:
    int init() override
    {
        initialized_ = true;
        return 0;
    }
    int start(AudioCallback) override
    {
        if (!initialized_) return -1;
        started_ = true;
        return 0;
    }
    int stop() override
    {
        started_ = false;
        return 0;
    }
    bool isStarted() const { return started_; }

private:
    bool initialized_ = false;
    bool started_ = false;
};
