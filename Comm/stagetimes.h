// How long one stage of the casting path took, frame after frame: the latest
// kCapacity durations in a ring allocated once, so that the frame path records
// without a lock or an allocation, from any number of threads at once.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

class StageTimes {
public:
    static constexpr size_t kCapacity = size_t(1) << 16;

    StageTimes() : samples_(new std::atomic<uint32_t>[kCapacity]()) {}
    StageTimes(const StageTimes&) = delete;
    StageTimes& operator=(const StageTimes&) = delete;

    // Durations longer than about 4 s are kept as 4 s; negative ones (two clock
    // reads on different threads) as 0.
    void record(int64_t nanoseconds)
    {
        const uint64_t index = next_.fetch_add(1, std::memory_order_relaxed);
        const int64_t kept =
            std::clamp<int64_t>(nanoseconds, 0, std::numeric_limits<uint32_t>::max());
        samples_[index % kCapacity].store(static_cast<uint32_t>(kept), std::memory_order_relaxed);
    }

    // Durations recorded since the last clear (only the latest kCapacity are kept).
    uint64_t count() const { return next_.load(); }

    // Meant for between casts; a duration recorded meanwhile simply counts in
    // the new series.
    void clear() { next_ = 0; }

    // The kept durations, in milliseconds, in no particular order.
    std::vector<double> milliseconds() const
    {
        const size_t kept = static_cast<size_t>(std::min<uint64_t>(next_.load(), kCapacity));
        std::vector<double> values(kept);
        for (size_t i = 0; i < kept; ++i)
            values[i] = samples_[i].load(std::memory_order_relaxed) / 1e6;
        return values;
    }

private:
    std::unique_ptr<std::atomic<uint32_t>[]> samples_;  // nanoseconds
    std::atomic<uint64_t> next_{0};
};

// The value below which `fraction` of `values` lie (nearest rank); 0 for none.
inline double percentileOf(std::vector<double> values, double fraction)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index =
        std::min(values.size() - 1, static_cast<size_t>(fraction * (values.size() - 1) + 0.5));
    return values[index];
}
