// What the pipeline's video loop needs from a frame source: the screen or window
// capture, or the synthetic test picture.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "libcapture/desktopsharing/screencapture/windowrecord.h"

class FrameSource {
public:
    virtual ~FrameSource() = default;

    // captureMode: 0 main screen, 1 extended screen, 2 the window in target.
    // Negative = failure.
    virtual int init(int unused, int captureMode, WindowRecord target) = 0;
    virtual int start() = 0;  // 0 = success
    virtual int stop() = 0;
    virtual int exit() = 0;
    virtual bool isStarted() const = 0;

    // Size of the latest frame; 0 x 0 before the first one.
    virtual int frameWidth() const = 0;
    virtual int frameHeight() const = 0;

    // The size the source will deliver (the monitor's or the window's), known
    // before the first frame; false when it cannot tell.
    virtual bool sourceSize(int& width, int& height) const = 0;

    // The video loop will take a frame at `at`. A source that captures on demand
    // looks for a change then, timed to be done by `at`, so that it grabs no more
    // pictures than are taken and the one taken is fresh; a source that makes
    // frames on its own clock ignores this.
    virtual void prepareFrame(std::chrono::steady_clock::time_point at) { (void)at; }
    // Waits, until `deadline` at most, for the look prepareFrame asked for.
    virtual void awaitPreparedFrame(std::chrono::steady_clock::time_point deadline)
    {
        (void)deadline;
    }

    // 0 only when the source holds a frame other than the one in `frame`; then
    // `frame` shares it (BGRA, rows packed, width * 4 bytes a row, never written
    // again while held) and size, width and height describe it. Otherwise -1.
    int getFrame(std::shared_ptr<uint8_t>& frame, int& size, int& width, int& height)
    {
        int64_t capturedNs = 0;
        return getFrame(frame, size, width, height, capturedNs);
    }
    // The same, and with a frame also when it was captured (steady clock, ns
    // since its epoch; 0 when the source cannot tell).
    virtual int getFrame(std::shared_ptr<uint8_t>& frame, int& size, int& width, int& height,
                         int64_t& capturedNs) = 0;
};
