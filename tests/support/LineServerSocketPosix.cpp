// The line-server client's sockets on POSIX, for the native programs.
#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/LineServerSocket.h"

namespace line_socket {
namespace {

std::string SocketError(const std::string& what) {
    return what + " failed: " + std::strerror(errno);
}

}  // namespace

intptr_t Connect(const std::string& host, const std::string& port, uint32_t timeoutMs, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        error = "cannot resolve the line server at " + host + ":" + port;
        return kNone;
    }
    const int s = socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    const bool connected = s >= 0 && connect(s, found->ai_addr, found->ai_addrlen) == 0;
    freeaddrinfo(found);
    if (!connected) {
        error = SocketError("connecting to the line server at " + host + ":" + port);
        if (s >= 0) close(s);
        return kNone;
    }
    timeval timeout{};
    timeout.tv_sec = timeoutMs / 1000;
    timeout.tv_usec = (timeoutMs % 1000) * 1000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return s;
}

long Send(intptr_t socket, const char* bytes, size_t count) {
    return send(static_cast<int>(socket), bytes, count, MSG_NOSIGNAL);
}

long Receive(intptr_t socket, char* buffer, size_t size) {
    return recv(static_cast<int>(socket), buffer, size, 0);
}

std::string LastError(const std::string& call) {
    return errno == EAGAIN || errno == EWOULDBLOCK ? "no answer from the line server" : SocketError(call);
}

void Close(intptr_t socket) {
    close(static_cast<int>(socket));
}

}  // namespace line_socket
