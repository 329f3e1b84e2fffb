#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <mutex>

#include "src/transport/sockethelpers.h"

namespace {
constexpr DWORD kSendTimeoutMs = 5000;

// A line of its own on standard error: standard output is where vantor-cast
// writes its results, and a bare "err connect" there ran into the next line.
void printError(const char* text) { std::fprintf(stderr, "%s\n", text); }

// Winsock is started once per process; a failed start is tried again next time.
bool startWinsock()
{
    static std::mutex mutex;
    static bool started = false;
    std::lock_guard<std::mutex> lock(mutex);
    if (!started) {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    return started;
}
}  // namespace

TcpSocket connectTcp(const char* host, int port)
{
    if (!startWinsock()) return kInvalidSocket;
    char portText[16];
    _snprintf_s(portText, sizeof portText, _TRUNCATE, "%d", port);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    if (getaddrinfo(host, portText, &hints, &result) != 0 || result == nullptr) {
        printError("err getaddrinfo");
        if (result) freeaddrinfo(result);
        return kInvalidSocket;
    }
    SOCKET s = socket(result->ai_family, result->ai_socktype, result->ai_protocol);
    if (s == INVALID_SOCKET) {
        printError("err socket");
        freeaddrinfo(result);
        return kInvalidSocket;
    }
    BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    DWORD timeout = kSendTimeoutMs;
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);

    if (connect(s, result->ai_addr, static_cast<int>(result->ai_addrlen)) != 0) {
        printError("err connect");
        closesocket(s);
        freeaddrinfo(result);
        return kInvalidSocket;
    }
    freeaddrinfo(result);
    return static_cast<TcpSocket>(s);
}

int sendAll(TcpSocket socket, const uint8_t* data, size_t length, int& error, size_t* written)
{
    size_t done = 0;
    int last = 0;
    while (done < length) {
        size_t chunk = length - done;
        if (chunk > 0x7fffffff) chunk = 0x7fffffff;
        last = send(static_cast<SOCKET>(socket), reinterpret_cast<const char*>(data + done),
                    static_cast<int>(chunk), 0);
        if (last == SOCKET_ERROR) {
            error = WSAGetLastError();
            if (written) *written = done;
            return -1;
        }
        done += static_cast<size_t>(last);
    }
    if (written) *written = done;
    return last;
}

bool isSendTimeout(int error) { return error == WSAETIMEDOUT; }

bool closeTcp(TcpSocket socket) { return closesocket(static_cast<SOCKET>(socket)) == 0; }
