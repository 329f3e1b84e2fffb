// One encoded unit (an H.264 access unit or an AAC frame) on its way to the receivers.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Bytes kept free in front of every pooled or copied packet's data, where its
// media frame header is written (frameInPlace): header and payload then leave
// in one write, one wake-up of the receiver instead of two.
constexpr size_t kPacketHeadroom = 8;

struct Packet {
    // Where the buffer comes from decides what release() does with it.
    enum class Kind : uint8_t {
        Slot,     // a ring slot of a pool; reused once nothing refers to it any more
        Heap,     // allocated for this packet alone; freed by the last release
        Private,  // owned by someone else (the session's header packet); release ignores it
    };

    uint8_t* data = nullptr;
    uint32_t size = 0;
    uint32_t timestamp = 0;
    // When it was put into the receivers' queues (steady clock, ns since its
    // epoch): how long it waited there is part of the cast's latency.
    int64_t queuedAtNs = 0;
    // Queues the packet was appended to and that have not yet released it. A ring
    // slot with a non-zero count is still queued or being written and must not be
    // handed out again.
    std::atomic<int32_t> refCount{0};
    Kind kind = Kind::Slot;
    // The media frame header stands in the kPacketHeadroom bytes before data.
    bool framed = false;
};
