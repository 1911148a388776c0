#pragma once
// A simulated line seen through a box on the network: a TCP server on
// 127.0.0.1 that stands where the host's COM port would and holds the line's
// COM side open itself. In RTU framing it passes bytes through as they
// come, as a serial device server does. In Modbus TCP framing it is a
// gateway: requests are unwrapped into RTU frames and put on the line one
// at a time, each once the one before was answered and the line fell quiet
// behind its reply; a reply from the station and with the function of the
// request on the line is wrapped under its transaction, and a request the
// line leaves unanswered for the gateway's wait is answered with exception
// 0B; the gateway then listens out that request's late reply for as long
// again, dropping it, before the next request goes onto the line. A unit id
// is the station it names, unless the gateway was told another unit for
// that station, as for a device that wants unit id 255. The
// relay's faults act behind it, on the line; its own act on the connection:
// dropped, refused for a while, replies cut into segments of a few bytes,
// or held open with nothing passing either way. A gateway may answer under
// a transaction of its own rule (0, the request's plus one, or its bytes
// swapped), and either face may close a connection that idles.
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "RtuFrames.h"

class TcpFace {
public:
    enum class Framing { kRtu, kMbap };
    // The transaction a gateway's reply carries.
    enum class Transactions { kOwn, kZero, kPlusOne, kSwapped };
    static constexpr uint32_t kGatewayWaitMs = 1000;
    // The line's quiet before a request while replies come whole.
    static constexpr uint32_t kLineQuietMs = 10;

    // Null with a reason in error when the server or the COM side cannot be set up.
    static std::unique_ptr<TcpFace> Open(const std::string& comPath, Framing framing, std::string& error);
    ~TcpFace();
    TcpFace(const TcpFace&) = delete;
    TcpFace& operator=(const TcpFace&) = delete;

    uint16_t Port() const { return m_port; }
    // Closes the connection; new ones are taken as before.
    void DropConnection() { m_dropRequested = true; }
    // Closes the connection and stops listening for ms: connections are
    // refused meanwhile, or, stalled, neither accepted nor refused, as by a
    // box that is off behind a switch.
    void RefuseFor(std::chrono::milliseconds ms, bool stall = false);
    // Every reply from now on in segments of at most bytes; 0: whole.
    void SetSegmentBytes(size_t bytes) { m_segmentBytes = bytes; }
    // A muted face keeps the connection but passes nothing either way, as a
    // gateway that lost power leaves a connection half open.
    void Mute(bool on) { m_muted = on; }
    // How long the gateway waits for the line's reply; kGatewayWaitMs at first.
    void SetGatewayWait(std::chrono::milliseconds ms) { m_gatewayWaitMs = static_cast<uint32_t>(ms.count()); }
    // Replies may pause this long inside: the line must stay quiet for longer
    // before the gateway sends on it, or a reply still coming (one sent
    // twice) would be taken for the answer to the next request. The longest
    // pause told is kept, since a reply already on its way keeps its pauses.
    void AllowPausesInReplies(std::chrono::milliseconds pause);
    void AnswerTransactions(Transactions rule) { m_transactions = rule; }
    // Closes the connection once it went this long without a request; 0: never.
    void CloseWhenIdle(std::chrono::milliseconds ms) { m_idleCloseMs = static_cast<uint32_t>(ms.count()); }
    // Requests under unit go to station and are answered under unit; those
    // under the station's own address, or another unit, go unanswered.
    void AnswerUnitAs(uint8_t unit, uint8_t station);

private:
    struct Waiting {
        uint16_t transaction;
        uint8_t unit;
        Bytes rtu;
        std::chrono::steady_clock::time_point since;  // on the line since; zero while it waits its turn
    };

    TcpFace(int com, Framing framing) : m_com(com), m_framing(framing) {}
    bool Listen(std::string& error);
    // A listener that never accepts, its queue filled, so that the system
    // drops further attempts unanswered.
    void Stall();
    void EndStall();
    void Run();
    void Accept();
    void CloseClient();
    void TakeRequests();
    void TakeReplies();
    void AnswerOverdue();
    // Puts the first waiting request on the line when the line is free.
    void ForwardNext();
    void SendToClient(const Bytes& bytes);
    void SendReply(uint16_t transaction, uint8_t unit, const Bytes& pdu);
    void CloseIfIdle();
    // The station a request under unit goes to; none for a unit the
    // gateway does not answer.
    std::optional<uint8_t> StationOfUnit(uint8_t unit);

    const int m_com;
    const Framing m_framing;
    int m_listener = -1;
    int m_client = -1;
    uint16_t m_port = 0;
    Bytes m_requests;
    Bytes m_replies;
    std::deque<Waiting> m_waiting;
    std::chrono::steady_clock::time_point m_lineFreeAt{};
    std::atomic<uint32_t> m_gatewayWaitMs{kGatewayWaitMs};
    std::atomic<uint32_t> m_lineQuietMs{kLineQuietMs};
    std::mutex m_refuseMutex;
    std::chrono::steady_clock::time_point m_refuseUntil{};
    std::atomic<bool> m_refuseRequested{false};
    bool m_stallRequested = false;  // guarded by m_refuseMutex
    std::vector<int> m_stalled;     // the stalling listener and what fills its queue
    std::atomic<bool> m_dropRequested{false};
    std::atomic<size_t> m_segmentBytes{0};
    std::atomic<bool> m_muted{false};
    std::atomic<Transactions> m_transactions{Transactions::kOwn};
    std::atomic<uint32_t> m_idleCloseMs{0};
    std::mutex m_unitMutex;
    std::map<uint8_t, uint8_t> m_stationOfUnit;  // guarded by m_unitMutex
    std::chrono::steady_clock::time_point m_lastRequestAt{};
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
