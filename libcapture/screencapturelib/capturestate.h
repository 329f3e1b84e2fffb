// What a capture manager shares with its capture threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "libcapture/screencapturelib/screencapturelib.h"

namespace ScreenCaptureLib {

enum class ThreadEnd { Stopped, ExpectedError, UnexpectedError, DisplayLost };

// While looks are asked for at least this often, the threads that answer them
// make no looks of their own interval.
constexpr std::chrono::milliseconds kAskedLooksHoldOff(500);

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

    // Looks asked for by the frames' consumer (CaptureManager::lookBy); under mutex.
    uint64_t askSerial = 0;                           // the latest ask
    std::chrono::steady_clock::time_point askedBy;    // when its frame is taken
    std::chrono::steady_clock::time_point lastAskAt;  // when it was made
    uint64_t answeredSerial = 0;                      // the latest ask a look answered
    int askServers = 0;                               // running threads that answer asks

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

    // For a thread that answers asks: sleeps until its next look is due and
    // returns the ask that look answers, 0 for a look of the interval (due at
    // intervalLook, held back while asks come). An asked look starts `lead`
    // before its frame is taken, so that it is done by then.
    uint64_t waitForLook(std::chrono::steady_clock::time_point intervalLook, uint64_t answered,
                         std::chrono::steady_clock::duration lead)
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            if (stopThreads || shutdown) return 0;
            const auto now = std::chrono::steady_clock::now();
            const bool asked = askSerial > answered;
            if (asked && now >= askedBy - lead) return askSerial;
            auto due = intervalLook;
            if (askSerial > 0) due = std::max(due, lastAskAt + kAskedLooksHoldOff);
            if (now >= due) return 0;
            changed.wait_until(lock, asked ? std::min(due, askedBy - lead) : due);
        }
    }

    // A look that answered `serial` (0: none) is done, its frame delivered.
    void answerLook(uint64_t serial)
    {
        if (serial == 0) return;
        std::lock_guard<std::mutex> lock(mutex);
        answeredSerial = std::max(answeredSerial, serial);
        changed.notify_all();
    }

    void serveAsks(bool serving)
    {
        std::lock_guard<std::mutex> lock(mutex);
        askServers += serving ? 1 : -1;
        changed.notify_all();
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
