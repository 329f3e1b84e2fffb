// Writes one media frame (8-byte header and payload: one write when the packet
// carries its header in front of its data, else two) and
// remembers how far it got, so that a write that timed out half-way can be
// finished later instead of leaving a torn frame on the wire.
#pragma once

#include <array>
#include <cstddef>

#include "src/transport/mediaframing.h"
#include "src/transport/packet.h"
#include "src/transport/sockethelpers.h"

class FrameWriter {
public:
    FrameWriter(TcpSocket socket, const Packet& packet);

    // Writes what is left. True when the whole frame is out; otherwise `error`
    // holds the system error of the failed write.
    bool writeRest(int& error);

    // Some bytes of this frame are on the wire already.
    bool started() const { return done_ > 0; }
    size_t totalBytes() const { return kMediaFrameHeaderSize + packet_.size; }

private:
    TcpSocket socket_;
    const Packet& packet_;
    std::array<uint8_t, kMediaFrameHeaderSize> header_;
    size_t done_ = 0;
};
