#include "src/transport/framewriter.h"

FrameWriter::FrameWriter(TcpSocket socket, const Packet& packet)
    : socket_(socket), packet_(packet), header_(mediaFrameHeader(packet.size, packet.timestamp))
{
}

bool FrameWriter::writeRest(int& error)
{
    while (done_ < totalBytes()) {
        const uint8_t* data = nullptr;
        size_t length = totalBytes() - done_;
        if (packet_.framed) {  // header and payload in one piece
            data = packet_.data - kMediaFrameHeaderSize + done_;
        } else if (done_ < kMediaFrameHeaderSize) {  // our copy of the header first
            data = header_.data() + done_;
            length = kMediaFrameHeaderSize - done_;
        } else {
            data = packet_.data + (done_ - kMediaFrameHeaderSize);
        }
        size_t written = 0;
        const int result = sendAll(socket_, data, length, error, &written);
        done_ += written;
        if (result < 0) return false;
    }
    return true;
}
