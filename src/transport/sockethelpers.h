// Blocking TCP helpers for the media channels. Errors are printed to standard
// output (no line end) and returned; nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>

using TcpSocket = std::intptr_t;  // a file descriptor, or a Winsock SOCKET
constexpr TcpSocket kInvalidSocket = -1;

// Connects to host:port with TCP_NODELAY and a 5000 ms send time-out.
// Returns the socket or -1.
TcpSocket connectTcp(const char* host, int port);

// Writes all `length` bytes. Returns -1 with the system error code in `error` when a
// write fails, otherwise the byte count of the last send call. `written`, if given,
// receives the bytes that went out before the failure (or `length`).
int sendAll(TcpSocket socket, const uint8_t* data, size_t length, int& error,
            size_t* written = nullptr);

// True when `error` (from sendAll) is the send time-out expiring.
bool isSendTimeout(int error);

bool closeTcp(TcpSocket socket);
