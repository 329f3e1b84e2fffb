#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "src/transport/sockethelpers.h"

namespace {
constexpr int kSendTimeoutMs = 5000;

// A line of its own on standard error: standard output is where vantor-cast
// writes its results, and a bare "err connect" there ran into the next line.
void printError(const char* text) { std::fprintf(stderr, "%s\n", text); }
}  // namespace

TcpSocket connectTcp(const char* host, int port)
{
    char portText[16];
    snprintf(portText, sizeof portText, "%d", port);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(host, portText, &hints, &result) != 0 || result == nullptr) {
        printError("err getaddrinfo");
        if (result) freeaddrinfo(result);
        return kInvalidSocket;
    }
    // Close-on-exec: a program we start must not hold a receiver's stream open.
    int fd = socket(result->ai_family, result->ai_socktype | SOCK_CLOEXEC, result->ai_protocol);
    if (fd < 0) {
        printError("err socket");
        freeaddrinfo(result);
        return kInvalidSocket;
    }
    int noDelay = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    timeval timeout{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);

    if (connect(fd, result->ai_addr, result->ai_addrlen) != 0) {
        printError("err connect");
        close(fd);
        freeaddrinfo(result);
        return kInvalidSocket;
    }
    freeaddrinfo(result);
    return fd;
}

int sendAll(TcpSocket socket, const uint8_t* data, size_t length, int& error, size_t* written)
{
    // Like a Winsock send with SO_SNDTIMEO: the whole call gets the send time-out,
    // however the kernel splits the data. A blocking Linux send that times out after
    // buffering part of the data reports only the part, and not reliably on time.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kSendTimeoutMs);
    const int fd = static_cast<int>(socket);
    size_t done = 0;
    ssize_t last = 0;
    while (done < length) {
        // MSG_NOSIGNAL: a receiver that went away must give an error, not kill us.
        last = send(fd, data + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (last >= 0) {
            done += static_cast<size_t>(last);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            if (written) *written = done;
            return -1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd waitForRoom{fd, POLLOUT, 0};
        if (left.count() <= 0 || poll(&waitForRoom, 1, static_cast<int>(left.count())) == 0) {
            error = EAGAIN;
            if (written) *written = done;
            return -1;
        }
    }
    if (written) *written = done;
    return static_cast<int>(last);
}

bool isSendTimeout(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == ETIMEDOUT;
}

bool closeTcp(TcpSocket socket) { return close(static_cast<int>(socket)) == 0; }
