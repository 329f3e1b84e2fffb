// Receive-to-present latency of the frames shown since the status line last asked,
// and how many frames were shown or replaced unseen in the whole cast.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "tools/vantor-receiver/player/frametiming.h"

namespace vantor::receiver {

class PresentLatency {
public:
    void add(const FrameTiming& timing);  // any thread
    // Median in ms of the frames presented since the last call; -1 when none was.
    double takeMedianMs();
    uint64_t presented() const;
    uint64_t dropped() const;

private:
    mutable std::mutex mutex_;
    std::vector<double> sinceLastTake_;
    uint64_t presented_ = 0;
    uint64_t dropped_ = 0;
};

}  // namespace vantor::receiver
