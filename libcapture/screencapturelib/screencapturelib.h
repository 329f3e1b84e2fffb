// Our screen-capture library: monitors or program windows captured on their own
// threads, a frame delivered whenever the picture changed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "libcapture/desktopsharing/screencapture/windowrecord.h"
#include "libcapture/screencapturelib/monitor.h"

namespace ScreenCaptureLib {

// A captured picture: 32-bit BGRA, rows packed (width * 4 bytes), top row
// first, cursor drawn in. Nobody writes the buffer again while it is held.
// On 24-bit visuals the A byte is the server's padding (0), not opacity; the
// encoder ignores it, and filling it in would cost a pass over every frame.
// Displays of other depths than 24 and 32 are not captured.
struct Frame {
    std::shared_ptr<uint8_t> data;
    int width = 0;
    int height = 0;
    int monitorIndex = -1;  // the monitor's list position; -1 for a window
    uintptr_t window = 0;   // the window's handle; 0 for a monitor
    // When the grab was asked of the display (steady clock, ns since its epoch);
    // 0 when the platform does not tell.
    int64_t capturedNs = 0;
};

using MonitorProvider = std::function<std::vector<Monitor>()>;
using WindowProvider = std::function<std::vector<WindowRecord>()>;
// Called on the capture threads, concurrently when several monitors are selected.
using FrameCallback = std::function<void(const Frame&)>;

struct CaptureState;

// True once the X server went away under one of our connections. From then on
// no capture thread runs and none is built again; frames simply stop coming.
bool displayLost();

// Runs one capture thread per selected monitor, or per listed window, built from
// the provider. When a thread meets an expected error (window gone or resized,
// monitor layout changed) every thread stops and, one second later, the
// threads are built again from the provider. Destruction ends the threads.
class CaptureManager {
public:
    CaptureManager(MonitorProvider monitors, FrameCallback onFrame);
    CaptureManager(WindowProvider windows, FrameCallback onFrame);
    ~CaptureManager();
    CaptureManager(const CaptureManager&) = delete;
    CaptureManager& operator=(const CaptureManager&) = delete;

    void start();
    void pause();
    void resume();
    bool isPaused() const;
    // New frames come at most once per interval (default 100 ms).
    void setFrameChangeInterval(std::chrono::microseconds interval);
    // For a consumer that takes frames on its own clock (the pipeline's video
    // loop): it will take a frame at `by`. Each capture thread that can looks
    // once for a change, timed to be done by then (an unchanged picture is not
    // grabbed), and while such asks keep coming it makes no looks of its own
    // interval: the server is asked for no more pictures than are taken. Returns
    // the ask's number for awaitLook.
    uint64_t lookBy(std::chrono::steady_clock::time_point by);
    // Waits until the look asked for as `ask` is done (its frame, if any, handed
    // over), or until no thread can answer it (paused, being rebuilt, over), at
    // most until `deadline`. False when the deadline came first.
    bool awaitLook(uint64_t ask, std::chrono::steady_clock::time_point deadline);
    // How often the capture threads were built (1 after start, +1 per rebuild).
    int builds() const;
    // How often the capture threads have looked for a change so far. A caller that
    // sees this grow knows that the looks in between found nothing to deliver.
    uint64_t passes() const;
    // Frames grabbed and handed to the callback so far.
    uint64_t grabs() const;
    // Requests the capture threads have sent to the display server so far: what
    // watching and grabbing cost the server.
    uint64_t displayRequests() const;
    // Capture threads held by pause() right now; they deliver nothing until resumed.
    int pausedThreads() const;
    // True once capture is over for good (the display was lost): the threads have
    // ended and none will be built again.
    bool captureOver() const;

private:
    void supervise();
    void buildThreads();
    void stopThreads();

    MonitorProvider monitorProvider_;
    WindowProvider windowProvider_;
    std::shared_ptr<CaptureState> state_;
    std::thread supervisor_;
    std::vector<std::thread> threads_;
};

}  // namespace ScreenCaptureLib
