// One receiver's queue of one media type. The session and the receiver's Sender
// share it; it lives until the last of them lets go, so a Sender that is still
// finishing never reads a destroyed queue.
#pragma once

#include <QList>
#include <memory>

#include "src/transport/packet.h"
#include "src/transport/packetpool.h"

struct PacketQueue {
    explicit PacketQueue(std::shared_ptr<PacketPool> pool) : pool(std::move(pool)) {}
    // Packets still queued are released here, so their ring slots become free again.
    ~PacketQueue();
    PacketQueue(const PacketQueue&) = delete;
    PacketQueue& operator=(const PacketQueue&) = delete;

    QList<Packet*> packets;              // guarded by the session lock
    std::shared_ptr<PacketPool> pool;    // where every packet of this queue is released
    std::shared_ptr<Packet> heldHeader;  // keeps a queued header packet alive
};

using PacketQueuePtr = std::shared_ptr<PacketQueue>;
