#include "src/transport/framewriter.h"

FrameWriter::FrameWriter(TcpSocket socket, const Packet& packet)
    : socket_(socket), packet_(packet), header_(mediaFrameHeader(packet.size, packet.timestamp))
{
}

bool FrameWriter::writeRest(int& error)
{
    while (done_ < totalBytes()) {
        const bool inHeader = done_ < kMediaFrameHeaderSize;
        const uint8_t* data =
            inHeader ? header_.data() + done_ : packet_.data + (done_ - kMediaFrameHeaderSize);
        const size_t length = inHeader ? kMediaFrameHeaderSize - done_ : totalBytes() - done_;
        size_t written = 0;
        const int result = sendAll(socket_, data, length, error, &written);
        done_ += written;
        if (result < 0) return false;
    }
    return true;
}
