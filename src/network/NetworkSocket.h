#pragma once
// A TCP connection as a network line uses it: connect within a time limit,
// send, and receive with a wait. The line reaches the network only through
// this seam, so that a test can put a connection of its own behind it.
// Every operation returns 0 or the system's code.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class INetworkSocket {
public:
    virtual ~INetworkSocket() = default;

    // Replaces any connection held. host is an IPv4 address or a host name.
    virtual uint32_t Connect(const std::string& host, uint16_t port, uint32_t timeoutMs) = 0;
    virtual uint32_t Send(const std::string& bytes) = 0;
    // Waits up to waitMs for bytes and appends what has come, at most max.
    // Returns 0 also when nothing came; kPeerClosed when the peer ended the
    // connection.
    virtual uint32_t Receive(std::string& into, size_t max, uint32_t waitMs) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // The code of a connection the peer closed in order.
    static constexpr uint32_t kPeerClosed = 10101;  // WSAEDISCON
};

// A Winsock connection with TCP keep-alive on and no send delay.
std::unique_ptr<INetworkSocket> MakeTcpSocket();
