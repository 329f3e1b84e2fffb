#include "src/transport/packetqueue.h"

PacketQueue::~PacketQueue()
{
    for (Packet* packet : packets) pool->release(packet);
}
