// Judges how a stream is paced from its own timestamps (milliseconds), not from
// how many frames a stretch of wall time produced: a busy machine may deliver
// fewer frames, but never faster than the frame rate, about one per interval,
// and never with a long hole. How fast the machine is belongs in bench/.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace streamcadence {

// A hole of more than this many frame intervals means the video stalled.
constexpr int kMaxGapIntervals = 5;
// Samples per AAC frame.
constexpr int kAacFrameSamples = 1024;

inline std::vector<int64_t> gaps(const std::vector<int64_t>& timestamps)
{
    std::vector<int64_t> result;
    for (size_t i = 1; i < timestamps.size(); ++i)
        result.push_back(timestamps[i] - timestamps[i - 1]);
    return result;
}

// Video at `fps`: no two frames closer than one interval (the clock has whole
// milliseconds), half of the gaps at most a quarter above it, none longer than
// kMaxGapIntervals intervals.
inline ::testing::AssertionResult pacedAt(const std::vector<int64_t>& timestamps, int fps)
{
    if (timestamps.size() < 3)
        return ::testing::AssertionFailure() << "only " << timestamps.size() << " frames";
    const int64_t interval = 1000 / fps;
    std::vector<int64_t> g = gaps(timestamps);
    for (size_t i = 0; i < g.size(); ++i) {
        if (g[i] < interval - 1)
            return ::testing::AssertionFailure() << "frames " << i << " and " << i + 1 << " only "
                                                 << g[i] << " ms apart at " << fps << " fps";
        if (g[i] > kMaxGapIntervals * interval)
            return ::testing::AssertionFailure()
                   << "a hole of " << g[i] << " ms after frame " << i << " at " << fps << " fps";
    }
    std::vector<int64_t> sorted = g;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const int64_t median = sorted[sorted.size() / 2];
    if (median > interval + interval / 4)
        return ::testing::AssertionFailure()
               << "median gap " << median << " ms, expected about " << interval << " ms";
    return ::testing::AssertionSuccess();
}

// AAC frames of kAacFrameSamples at `sampleRate`: timestamps never go back, and
// past the first few frames (start-up may bunch them) they advance on average by
// one frame's duration.
inline ::testing::AssertionResult advancesByFrameDuration(const std::vector<int64_t>& timestamps,
                                                          int sampleRate)
{
    constexpr size_t kSkipped = 5;
    if (timestamps.size() < kSkipped + 6)
        return ::testing::AssertionFailure() << "only " << timestamps.size() << " audio frames";
    for (size_t i = 1; i < timestamps.size(); ++i)
        if (timestamps[i] < timestamps[i - 1])
            return ::testing::AssertionFailure() << "audio frame " << i << " goes back in time";
    const double frameMs = kAacFrameSamples * 1000.0 / sampleRate;
    const double average =
        double(timestamps.back() - timestamps[kSkipped]) / double(timestamps.size() - 1 - kSkipped);
    if (average < 0.75 * frameMs || average > 1.5 * frameMs)
        return ::testing::AssertionFailure() << "audio advances " << average
                                             << " ms per frame, a frame lasts " << frameMs << " ms";
    return ::testing::AssertionSuccess();
}

}  // namespace streamcadence
