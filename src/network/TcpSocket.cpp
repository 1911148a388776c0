// The Winsock connection behind a network line. The socket is non-blocking
// throughout; every wait is a select with its own time limit. Keep-alive
// probes start after 10 s without traffic and repeat every second, so a
// peer that vanished without closing is found within about 20 s.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>

#include <algorithm>

#include "network/NetworkSocket.h"

namespace {

constexpr u_long kKeepAliveAfterMs = 10000;
constexpr u_long kKeepAliveEveryMs = 1000;
constexpr uint32_t kSendLimitMs = 2000;

// Winsock is started once for the module and left running: the module may
// be unloaded with connections still closing.
bool WinsockStarted() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

timeval TimevalOf(uint32_t ms) {
    timeval time;
    time.tv_sec = static_cast<long>(ms / 1000);
    time.tv_usec = static_cast<long>(ms % 1000) * 1000;
    return time;
}

// Whether the socket is ready within ms: for reading, else for writing.
// A failed select counts as ready: the call that follows reports the fault.
bool Ready(SOCKET socket, bool reading, uint32_t ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    fd_set failed = set;
    timeval time = TimevalOf(ms);
    const int count = select(0, reading ? &set : nullptr, reading ? nullptr : &set, &failed, &time);
    return count != 0;
}

void KeepAlive(SOCKET socket) {
    const BOOL on = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    tcp_keepalive values{1, kKeepAliveAfterMs, kKeepAliveEveryMs};
    DWORD returned = 0;
    WSAIoctl(socket, SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned, nullptr, nullptr);
}

class CTcpSocket : public INetworkSocket {
public:
    ~CTcpSocket() override { Close(); }

    uint32_t Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) override {
        Close();
        if (!WinsockStarted()) return WSANOTINITIALISED;
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* found = nullptr;
        if (int code = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found)) {
            return static_cast<uint32_t>(code);
        }
        const uint32_t code = ConnectTo(*found, timeoutMs);
        freeaddrinfo(found);
        return code;
    }

    uint32_t Send(const std::string& bytes) override {
        for (size_t sent = 0; sent < bytes.size();) {
            const int count = send(m_socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
            if (count > 0) {
                sent += static_cast<size_t>(count);
            } else if (WSAGetLastError() != WSAEWOULDBLOCK || !Ready(m_socket, false, kSendLimitMs)) {
                return count < 0 && WSAGetLastError() != WSAEWOULDBLOCK ? WSAGetLastError() : WSAETIMEDOUT;
            }
        }
        return 0;
    }

    uint32_t Receive(std::string& into, size_t max, uint32_t waitMs) override {
        if (m_socket == INVALID_SOCKET) return WSAENOTSOCK;
        if (max == 0 || !Ready(m_socket, true, waitMs)) return 0;
        char buffer[1024];
        const int count = recv(m_socket, buffer, static_cast<int>(std::min(max, sizeof buffer)), 0);
        if (count == 0) return kPeerClosed;
        if (count < 0) return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : WSAGetLastError();
        into.append(buffer, static_cast<size_t>(count));
        return 0;
    }

    void Close() override {
        if (m_socket == INVALID_SOCKET) return;
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }

    bool IsOpen() const override { return m_socket != INVALID_SOCKET; }

private:
    uint32_t ConnectTo(const addrinfo& address, uint32_t timeoutMs) {
        m_socket = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
        if (m_socket == INVALID_SOCKET) return WSAGetLastError();
        u_long nonBlocking = 1;
        ioctlsocket(m_socket, FIONBIO, &nonBlocking);
        uint32_t code = 0;
        if (connect(m_socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
            code = WSAGetLastError() == WSAEWOULDBLOCK ? AwaitConnected(timeoutMs) : WSAGetLastError();
        }
        if (code != 0) {
            Close();
            return code;
        }
        KeepAlive(m_socket);
        return 0;
    }

    uint32_t AwaitConnected(uint32_t timeoutMs) {
        if (!Ready(m_socket, false, timeoutMs)) return WSAETIMEDOUT;
        int error = 0;
        int size = sizeof error;
        getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        return static_cast<uint32_t>(error);
    }

    SOCKET m_socket = INVALID_SOCKET;
};

}  // namespace

std::unique_ptr<INetworkSocket> MakeTcpSocket() {
    return std::make_unique<CTcpSocket>();
}
