// Collects the frames a capture manager delivers, for tests to wait on.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "libcapture/screencapturelib/screencapturelib.h"

class FrameCollector {
public:
    ScreenCaptureLib::FrameCallback callback()
    {
        return [this](const ScreenCaptureLib::Frame& frame) {
            std::lock_guard<std::mutex> lock(mutex_);
            last_ = frame;
            ++count_;
            changed_.notify_all();
        };
    }

    int count()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }

    ScreenCaptureLib::Frame last()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_;
    }

    // Waits (at most a few seconds) for a frame after the first `seen` ones
    // that satisfies `accept`.
    template <typename Accept>
    bool waitForFrame(int seen, Accept accept,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return count_ > seen && accept(last_); });
    }

    bool waitForFrame(int seen)
    {
        return waitForFrame(seen, [](const ScreenCaptureLib::Frame&) { return true; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    ScreenCaptureLib::Frame last_;
    int count_ = 0;
};
