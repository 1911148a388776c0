// The line-server client's sockets on Winsock. Every connection holds a
// Winsock start of its own, ended when it closes.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "support/LineServerSocket.h"

namespace line_socket {
namespace {

std::string SocketError(const std::string& what) {
    return what + " failed, Winsock error " + std::to_string(WSAGetLastError());
}

}  // namespace

intptr_t Connect(const std::string& host, const std::string& port, uint32_t timeoutMs, std::string& error) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        error = "WSAStartup failed";
        return kNone;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        error = SocketError("getaddrinfo");
        WSACleanup();
        return kNone;
    }
    SOCKET s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    const bool connected = s != INVALID_SOCKET && connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    freeaddrinfo(found);
    if (!connected) {
        error = SocketError("connecting to the line server at " + host + ":" + port);
        if (s != INVALID_SOCKET) closesocket(s);
        WSACleanup();
        return kNone;
    }
    const DWORD timeout = timeoutMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    return static_cast<intptr_t>(s);
}

bool SendAll(intptr_t socket, const std::string& bytes, std::string& error) {
    for (size_t sent = 0; sent < bytes.size();) {
        const int n = send(static_cast<SOCKET>(socket), bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) {
            error = SocketError("send");
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool Receive(intptr_t socket, std::string& bytes, std::string& error) {
    char chunk[4096];
    const int n = recv(static_cast<SOCKET>(socket), chunk, sizeof chunk, 0);
    if (n == 0) error = "the line server closed the connection";
    if (n < 0) error = WSAGetLastError() == WSAETIMEDOUT ? "no answer from the line server" : SocketError("recv");
    if (n <= 0) return false;
    bytes.append(chunk, static_cast<size_t>(n));
    return true;
}

void Close(intptr_t socket) {
    closesocket(static_cast<SOCKET>(socket));
    WSACleanup();
}

}  // namespace line_socket
