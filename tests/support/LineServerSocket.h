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
// False with the reason in error unless every byte went out.
bool SendAll(intptr_t socket, const std::string& bytes, std::string& error);
// Appends what arrived to bytes; false with the reason in error when the
// peer closed, the time-out passed or the socket failed.
bool Receive(intptr_t socket, std::string& bytes, std::string& error);
void Close(intptr_t socket);

}  // namespace line_socket
