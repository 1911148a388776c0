#pragma once
// A TCP connection as the reply-placing engine reads it: a stream whose
// bytes come in segments of any size, with no queue to look at but what a
// read without waiting brings. What a read brought beyond what was asked
// for is held for the next read. The first failure of the connection is
// kept for the line, which loses the connection on it.
#include <cstdint>
#include <functional>
#include <string>

#include "line/ByteSource.h"
#include "network/NetworkSocket.h"

class CTcpByteSource : public line::IByteSource {
public:
    using Clock = std::function<int64_t()>;  // microseconds from any origin

    CTcpByteSource(INetworkSocket& socket, const Clock& nowUs) : m_socket(socket), m_nowUs(nowUs) {}

    uint32_t Read(std::string& into, uint32_t count, uint32_t gapMs, uint32_t totalMs, uint32_t& got) override;
    bool BytesWaiting() override;
    bool DropsWaitingOnSend() const override { return false; }
    int64_t NowUs() override { return m_nowUs(); }
    // Bytes that come meanwhile end the wait: the engine reads them next.
    void WaitUntilUs(int64_t then) override;

    // Whether the peer ended the connection since the last read: reads what
    // has come without waiting, keeping it, and returns the failure met,
    // taken; 0 while the connection stands.
    uint32_t PeerEnded();
    // Waits until then, keeping what comes for the next read; a failure is
    // kept as a read's is.
    void HoldUntilUs(int64_t then);
    // The connection's failure code since the last call, taken.
    uint32_t TakeFailure();
    // A new connection owes nothing of the old one's stream.
    void Clear();

private:
    // One receive of whatever has come within waitMs, into the held bytes.
    uint32_t Receive(uint32_t waitMs);

    INetworkSocket& m_socket;
    const Clock& m_nowUs;
    std::string m_held;
    uint32_t m_failure = 0;
};
