#include "tools/vantor-receiver/player/presentlatency.h"

#include <algorithm>

namespace vantor::receiver {

namespace {
// A status line that nobody reads for a long time must not grow this without end.
constexpr size_t kMaxSamples = 10000;
}  // namespace

void PresentLatency::add(const FrameTiming& timing)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (timing.presentedNs <= 0) {
        ++dropped_;
        return;
    }
    ++presented_;
    if (sinceLastTake_.size() < kMaxSamples)
        sinceLastTake_.push_back((timing.presentedNs - timing.receivedNs) / 1e6);
}

double PresentLatency::takeMedianMs()
{
    std::vector<double> samples;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        samples.swap(sinceLastTake_);
    }
    if (samples.empty()) return -1;
    auto middle = samples.begin() + samples.size() / 2;
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

uint64_t PresentLatency::presented() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return presented_;
}

uint64_t PresentLatency::dropped() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

}  // namespace vantor::receiver
