// Preallocated ring of packet buffers for one media type. The single producer
// (the encoder loop of that media type) copies each encoded unit into the next
// slot; senders release what they took off their queues.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "src/transport/packet.h"

class PacketPool {
public:
    PacketPool(uint32_t slotSize, int32_t count);
    ~PacketPool();
    PacketPool(const PacketPool&) = delete;
    PacketPool& operator=(const PacketPool&) = delete;

    // A packet holding a copy of the bytes, refCount 0. Units larger than a slot,
    // and units whose next ring slot is still referenced, get a buffer of their own.
    Packet* acquire(const uint8_t* data, uint32_t length);

    // Drops one reference taken by a queue.
    void release(Packet* packet);

    // For a packet that was acquired but appended to no queue: a heap packet would
    // otherwise never see a last release. Only the producer may call it, and only
    // when it knows that no queue received the packet.
    void discardUnqueued(Packet* packet);

    uint32_t slotSize() const { return slotSize_; }
    int32_t count() const { return count_; }
    int32_t current() const { return current_; }
    uint64_t heapPackets() const { return heapPackets_.load(); }
    int64_t liveHeapPackets() const { return liveHeapPackets_.load(); }
    uint64_t busySlotSkips() const { return busySlotSkips_.load(); }
    bool ownsSlot(const Packet* packet) const;

private:
    Packet* newHeapPacket(const uint8_t* data, uint32_t length);
    void freeHeapPacket(Packet* packet);

    std::vector<Packet*> slots_;
    uint32_t slotSize_;
    int32_t count_;
    int32_t current_ = -1;
    std::mutex mutex_;  // guards the refCount of heap packets
    // Written by the producer, read from any thread (statistics, tests).
    std::atomic<uint64_t> heapPackets_{0};
    std::atomic<uint64_t> busySlotSkips_{0};
    std::atomic<int64_t> liveHeapPackets_{0};  // allocated and not yet freed
};
