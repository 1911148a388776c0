#pragma once
// The socket calls the line-server client makes, one implementation per
// platform: Winsock for the Win32 tests and the benchmark under Wine, POSIX
// sockets for the benchmark's native reference masters.
#include <cstddef>
#include <cstdint>
#include <string>

namespace line_socket {

constexpr intptr_t kNone = -1;

// A TCP connection to host:port whose sends and receives give up after
// timeoutMs; kNone with the reason in error.
intptr_t Connect(const std::string& host, const std::string& port, uint32_t timeoutMs, std::string& error);
// Bytes sent or received, as send and recv count them: 0 from Receive when
// the peer closed, below 0 on a failure that LastError then explains.
long Send(intptr_t socket, const char* bytes, size_t count);
long Receive(intptr_t socket, char* buffer, size_t size);
// The reason the last call failed, or that the time-out passed.
std::string LastError(const std::string& call);
void Close(intptr_t socket);

}  // namespace line_socket
