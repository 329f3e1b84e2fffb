// What a capture manager shares with its capture threads.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "libcapture/screencapturelib/screencapturelib.h"

namespace ScreenCaptureLib {

enum class ThreadEnd { Stopped, ExpectedError, UnexpectedError, DisplayLost };

struct CaptureState {
    FrameCallback onFrame;
    std::atomic<long long> intervalMicroseconds{100000};

    std::mutex mutex;
    std::condition_variable changed;
    bool shutdown = false;       // the manager is going away
    bool stopThreads = false;    // the current threads are to end
    bool expectedError = false;  // a thread asks for a rebuild
    bool displayLost = false;    // the X server is gone: no rebuild
    bool paused = false;
    int pausedThreads = 0;  // threads blocked in waitWhilePaused
    int builds = 0;
    bool over = false;  // the supervisor has ended: no thread will run again
    std::atomic<uint64_t> passes{0};
    std::atomic<uint64_t> grabs{0};     // frames grabbed and delivered
    std::atomic<uint64_t> requests{0};  // X requests the capture threads sent

    bool stopping()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stopThreads || shutdown;
    }

    // Blocks while paused; true when it did block. Returns early on stop.
    bool waitWhilePaused()
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (!paused) return false;
        ++pausedThreads;
        changed.wait(lock, [this] { return !paused || stopThreads || shutdown; });
        --pausedThreads;
        return true;
    }

    // Sleeps until `until` unless stopped first.
    void sleepUntil(std::chrono::steady_clock::time_point until)
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_until(lock, until, [this] { return stopThreads || shutdown; });
    }

    void raiseDisplayLost()
    {
        std::lock_guard<std::mutex> lock(mutex);
        displayLost = true;
        changed.notify_all();
    }

    void raiseExpectedError()
    {
        std::lock_guard<std::mutex> lock(mutex);
        expectedError = true;
        changed.notify_all();
    }
};

// Logs once per process how windows are captured.
void logWindowCaptureMode(bool composite);

// Thread bodies; they log why they end.
ThreadEnd runMonitorCapture(CaptureState& state, const Monitor& monitor);
ThreadEnd runWindowCapture(CaptureState& state, const WindowRecord& window);

}  // namespace ScreenCaptureLib
