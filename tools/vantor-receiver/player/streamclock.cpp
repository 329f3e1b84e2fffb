#include "tools/vantor-receiver/player/streamclock.h"

namespace vantor::receiver {

namespace {
// One picture late or early must not pull the sound around: each presentation moves
// the offset an eighth of the way.
constexpr int64_t kSmoothing = 8;
}  // namespace

void StreamClock::notePresented(uint32_t timestampMs, int64_t presentedNs)
{
    const int64_t offset = presentedNs - int64_t(timestampMs) * 1000000;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!known_) {
        offsetNs_ = offset;
        known_ = true;
        return;
    }
    offsetNs_ += (offset - offsetNs_) / kSmoothing;
}

bool StreamClock::dueTime(uint32_t timestampMs, int64_t* dueNs) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!known_) return false;
    *dueNs = int64_t(timestampMs) * 1000000 + offsetNs_;
    return true;
}

}  // namespace vantor::receiver
