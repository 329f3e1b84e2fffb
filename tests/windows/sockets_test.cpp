// The Winsock helpers and the media framing of the media channels, against a
// Linux peer on 127.0.0.1 (linux-listener.pl) that sends every byte back, and
// against peers of our own that refuse, reset or stop reading.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "src/transport/framewriter.h"
#include "src/transport/mediaframing.h"
#include "src/transport/packet.h"
#include "src/transport/sockethelpers.h"

namespace {

int linuxListenerPort()
{
    const char* path = std::getenv("VANTOR_LINUX_LISTENER_PORT_FILE");
    if (!path) return 0;
    std::ifstream in(path);
    int port = 0;
    in >> port;
    return port;
}

// Reads exactly `length` bytes; fewer when the peer closes or 10 s pass in silence.
std::vector<uint8_t> receive(TcpSocket socket, size_t length)
{
    const SOCKET s = static_cast<SOCKET>(socket);
    DWORD timeoutMs = 10000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof timeoutMs);
    std::vector<uint8_t> bytes(length);
    size_t done = 0;
    while (done < length) {
        const int got = recv(s, reinterpret_cast<char*>(bytes.data() + done),
                             static_cast<int>(length - done), 0);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    bytes.resize(done);
    return bytes;
}

std::vector<uint8_t> pattern(size_t length)
{
    std::vector<uint8_t> bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return bytes;
}

class LinuxPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        port_ = linuxListenerPort();
        ASSERT_GT(port_, 0) << "no Linux listener (the CTest fixture linux_listener starts it)";
        socket_ = connectTcp("127.0.0.1", port_);
        ASSERT_NE(socket_, kInvalidSocket);
    }
    void TearDown() override
    {
        if (socket_ != kInvalidSocket) EXPECT_TRUE(closeTcp(socket_));
    }

    int port_ = 0;
    TcpSocket socket_ = kInvalidSocket;
};

// A Winsock socket of the test's own on 127.0.0.1, bound to a free port.
class OwnPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        server_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        ASSERT_NE(server_, INVALID_SOCKET);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(bind(server_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        int length = sizeof address;
        ASSERT_EQ(getsockname(server_, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
    }
    void TearDown() override
    {
        if (accepted_ != INVALID_SOCKET) closesocket(accepted_);
        if (server_ != INVALID_SOCKET) closesocket(server_);
        WSACleanup();
    }

    SOCKET server_ = INVALID_SOCKET;
    SOCKET accepted_ = INVALID_SOCKET;
    int port_ = 0;
};

}  // namespace

TEST(MediaFraming, HeadersAreBigEndian)
{
    const auto frame = mediaFrameHeader(0x01020304u, 0xA0B0C0D0u);
    EXPECT_EQ(std::vector<uint8_t>(frame.begin(), frame.end()),
              (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0xA0, 0xB0, 0xC0, 0xD0}));
    const auto audio = audioStreamHeader(2, 48000);
    EXPECT_EQ(
        std::vector<uint8_t>(audio.begin(), audio.end()),
        (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0xBB, 0x80, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(readBigEndian32(&frame[4]), 0xA0B0C0D0u);
}

TEST_F(LinuxPeer, ConnectionHasNoDelayAndFiveSecondSendTimeout)
{
    const SOCKET s = static_cast<SOCKET>(socket_);
    BOOL noDelay = FALSE;
    int length = sizeof noDelay;
    ASSERT_EQ(getsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&noDelay), &length),
              0);
    EXPECT_TRUE(noDelay);
    DWORD timeoutMs = 0;
    length = sizeof timeoutMs;
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&timeoutMs), &length),
              0);
    EXPECT_EQ(timeoutMs, 5000u);
}

TEST_F(LinuxPeer, AudioHeaderAndMediaFramesArriveByteForByte)
{
    const auto header = audioStreamHeader(2, 48000);
    int error = 0;
    // The count of the last send call: one call carries all 20 bytes.
    EXPECT_EQ(sendAll(socket_, header.data(), header.size(), error), 20);
    EXPECT_EQ(receive(socket_, header.size()), std::vector<uint8_t>(header.begin(), header.end()));

    // A small frame, an empty one (header only) and one larger than a socket buffer.
    for (size_t size : {size_t(1000), size_t(0), size_t(600000)}) {
        std::vector<uint8_t> payload = pattern(size);
        Packet packet;
        packet.data = payload.data();
        packet.size = static_cast<uint32_t>(size);
        packet.timestamp = 123456 + static_cast<uint32_t>(size);
        FrameWriter writer(socket_, packet);
        ASSERT_TRUE(writer.writeRest(error)) << "error " << error;

        const std::vector<uint8_t> echoed = receive(socket_, kMediaFrameHeaderSize + size);
        ASSERT_EQ(echoed.size(), kMediaFrameHeaderSize + size);
        EXPECT_EQ(readBigEndian32(&echoed[0]), size);
        EXPECT_EQ(readBigEndian32(&echoed[4]), packet.timestamp);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), echoed.begin() + 8))
            << "payload of " << size << " bytes changed on the way";
    }
}

TEST_F(OwnPeer, PortWithoutListenerIsRefused)
{
    // Bound but not listening: the connection is refused at once.
    testing::internal::CaptureStderr();
    const TcpSocket socket = connectTcp("127.0.0.1", port_);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(socket, kInvalidSocket);
    EXPECT_EQ(printed, "err connect\n");
}

TEST_F(OwnPeer, WriteToResetConnectionFailsWithoutTimeout)
{
    ASSERT_EQ(listen(server_, 1), 0);
    const TcpSocket socket = connectTcp("127.0.0.1", port_);
    ASSERT_NE(socket, kInvalidSocket);
    accepted_ = accept(server_, nullptr, nullptr);
    ASSERT_NE(accepted_, INVALID_SOCKET);
    // Closing with a zero linger time resets the connection.
    linger reset{1, 0};
    setsockopt(accepted_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
               sizeof reset);
    closesocket(accepted_);
    accepted_ = INVALID_SOCKET;

    // The reset reaches the writer at the latest with its second write.
    const std::vector<uint8_t> payload = pattern(4096);
    int error = 0;
    int result = 0;
    for (int attempt = 0; attempt < 3 && result >= 0; ++attempt)
        result = sendAll(socket, payload.data(), payload.size(), error);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(error == WSAECONNRESET || error == WSAECONNABORTED) << "error " << error;
    EXPECT_FALSE(isSendTimeout(error));
    EXPECT_TRUE(closeTcp(socket));
}

TEST_F(OwnPeer, PeerThatStopsReadingGivesSendTimeout)
{
    ASSERT_EQ(listen(server_, 1), 0);
    const TcpSocket socket = connectTcp("127.0.0.1", port_);
    ASSERT_NE(socket, kInvalidSocket);
    accepted_ = accept(server_, nullptr, nullptr);
    ASSERT_NE(accepted_, INVALID_SOCKET);

    // Far more than both socket buffers hold: the write stalls until the time-out.
    const std::vector<uint8_t> payload = pattern(16 << 20);
    int error = 0;
    size_t written = 0;
    EXPECT_EQ(sendAll(socket, payload.data(), payload.size(), error, &written), -1);
    EXPECT_TRUE(isSendTimeout(error)) << "error " << error;
    EXPECT_EQ(error, WSAETIMEDOUT);
    EXPECT_LT(written, payload.size());
    EXPECT_TRUE(closeTcp(socket));
}

TEST(WinSockets, ClosingAClosedSocketFails)
{
    const int port = linuxListenerPort();
    ASSERT_GT(port, 0);
    const TcpSocket socket = connectTcp("127.0.0.1", port);
    ASSERT_NE(socket, kInvalidSocket);
    EXPECT_TRUE(closeTcp(socket));
    EXPECT_FALSE(closeTcp(socket));
}
