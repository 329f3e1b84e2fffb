#include "src/transport/packetpool.h"

#include <QDebug>
#include <cstring>

namespace {

// A buffer for `length` bytes with the frame header's room in front of them.
uint8_t* newBuffer(size_t length)
{
    return new uint8_t[kPacketHeadroom + length] + kPacketHeadroom;
}

void deleteBuffer(uint8_t* data) { delete[](data - kPacketHeadroom); }

}  // namespace

PacketPool::PacketPool(uint32_t slotSize, int32_t count)
    : slotSize_(slotSize), count_(count > 0 ? count : 0)
{
    slots_.reserve(count_);
    for (int32_t i = 0; i < count_; ++i) {
        auto* slot = new Packet;
        slot->data = newBuffer(slotSize_);
        slot->kind = Packet::Kind::Slot;
        slots_.push_back(slot);
    }
}

PacketPool::~PacketPool()
{
    for (Packet* slot : slots_) {
        deleteBuffer(slot->data);
        delete slot;
    }
}

Packet* PacketPool::newHeapPacket(const uint8_t* data, uint32_t length)
{
    auto* packet = new Packet;
    packet->data = newBuffer(length);
    if (length > 0) memcpy(packet->data, data, length);
    packet->size = length;
    packet->refCount = 0;
    packet->kind = Packet::Kind::Heap;
    ++heapPackets_;
    ++liveHeapPackets_;
    return packet;
}

Packet* PacketPool::acquire(const uint8_t* data, uint32_t length)
{
    if (length > slotSize_ || count_ == 0) {
        qDebug().noquote() << "new pkg " << length;
        return newHeapPacket(data, length);
    }
    current_ = (current_ + 1) % count_;
    Packet* slot = slots_[current_];
    // A slow receiver can still hold this slot in its queue (or be writing it):
    // overwriting it would corrupt a frame on the wire, so take a buffer of its own.
    if (slot->refCount.load(std::memory_order_acquire) > 0) {
        const uint64_t skips = busySlotSkips_.fetch_add(1) + 1;
        if (skips % 500 == 1)
            qDebug().noquote() << "ring slot" << current_ << "still queued, new pkg " << length
                               << "(" << skips << "so far)";
        return newHeapPacket(data, length);
    }
    if (length > 0) memcpy(slot->data, data, length);
    slot->size = length;
    slot->framed = false;
    return slot;
}

void PacketPool::freeHeapPacket(Packet* packet)
{
    deleteBuffer(packet->data);
    delete packet;
    --liveHeapPackets_;
}

void PacketPool::release(Packet* packet)
{
    if (packet == nullptr) return;
    switch (packet->kind) {
        case Packet::Kind::Private:
            return;
        case Packet::Kind::Slot:
            packet->refCount.fetch_sub(1, std::memory_order_acq_rel);
            return;
        case Packet::Kind::Heap: {
            bool last = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                last = packet->refCount.fetch_sub(1, std::memory_order_acq_rel) <= 1;
            }
            if (last) freeHeapPacket(packet);
            return;
        }
    }
}

void PacketPool::discardUnqueued(Packet* packet)
{
    if (packet != nullptr && packet->kind == Packet::Kind::Heap) freeHeapPacket(packet);
}

bool PacketPool::ownsSlot(const Packet* packet) const
{
    for (const Packet* slot : slots_)
        if (slot == packet) return true;
    return false;
}
