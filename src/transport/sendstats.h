// Per-receiver counters for summaries. Written by the Sender and the frame sink,
// read by anyone; they outlive both.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

// How a receiver's stream ended.
enum class StreamEnd : int {
    None = 0,         // still streaming, or never started
    Completed,        // we stopped it
    StoppedEarly,     // we stopped it before its channels stood
    CouldNotConnect,  // a media channel could not be opened
    Reset,            // the receiver closed or reset the connection
    TooSlow,          // it stopped taking the stream: writes timed out again and again
};

inline int64_t steadyClockNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct SendStats {
    std::atomic<bool> connected{false};     // both media channels were opened
    std::atomic<bool> finished{false};      // the Sender has ended
    std::atomic<uint64_t> videoPackets{0};  // written completely
    std::atomic<uint64_t> audioPackets{0};
    std::atomic<uint64_t> bytes{0};         // wire bytes, headers included
    std::atomic<uint64_t> videoDropped{0};  // not queued: the queue was out of distribution
    std::atomic<uint64_t> audioDropped{0};
    std::atomic<uint64_t> flushed{0};  // thrown away after a write time-out
    std::atomic<uint64_t> timeouts{0};
    // Set once, by the Sender, before `finished`.
    std::atomic<StreamEnd> end{StreamEnd::None};
    std::atomic<int64_t> endedAtNs{0};  // steadyClockNs() when it ended
    // When the frame sink took its queues out of distribution (more than a
    // queue's worth of packets waiting); 0 while it is fed.
    std::atomic<int64_t> cutOffAtNs{0};
};
