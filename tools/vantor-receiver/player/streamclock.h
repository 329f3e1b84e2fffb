// Ties the sender's timestamps to this host's steady clock through the pictures
// shown: a timestamp's local time is when a picture of that timestamp reaches the
// screen. The sound follows it, so picture and sound stay together while the
// picture is shown as soon as it is decoded.
#pragma once

#include <cstdint>
#include <mutex>

namespace vantor::receiver {

class StreamClock {
public:
    // A picture with this timestamp was presented at presentedNs (window thread).
    void notePresented(uint32_t timestampMs, int64_t presentedNs);
    // Steady-clock time at which a timestamp is due; false before the first picture.
    bool dueTime(uint32_t timestampMs, int64_t* dueNs) const;

private:
    mutable std::mutex mutex_;
    bool known_ = false;
    int64_t offsetNs_ = 0;  // presentation time minus timestamp, smoothed
};

}  // namespace vantor::receiver
