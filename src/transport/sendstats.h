// Per-receiver counters for summaries. Written by the Sender and the frame sink,
// read by anyone; they outlive both.
#pragma once

#include <atomic>
#include <cstdint>

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
};
