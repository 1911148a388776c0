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

long Send(intptr_t socket, const char* bytes, size_t count) {
    return send(static_cast<SOCKET>(socket), bytes, static_cast<int>(count), 0);
}

long Receive(intptr_t socket, char* buffer, size_t size) {
    return recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
}

std::string LastError(const std::string& call) {
    return WSAGetLastError() == WSAETIMEDOUT ? "no answer from the line server" : SocketError(call);
}

void Close(intptr_t socket) {
    closesocket(static_cast<SOCKET>(socket));
    WSACleanup();
}

}  // namespace line_socket
