#include "TcpFace.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollMs = 5;
// How much longer than the longest pause inside a reply the line must have
// been quiet before the gateway sends on it.
constexpr auto kQuietMargin = std::chrono::milliseconds(5);
constexpr auto kSegmentPause = std::chrono::milliseconds(2);
constexpr size_t kHeaderLength = 7;
constexpr uint8_t kTargetFailed = 0x0B;

uint16_t WordAt(const Bytes& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// The header under transaction, then unit id and PDU.
Bytes Wrapped(uint16_t transaction, uint8_t unit, const Bytes& pdu) {
    const size_t length = pdu.size() + 1;
    Bytes frame;
    for (size_t word : {size_t{transaction}, size_t{0}, length}) {
        frame.push_back(static_cast<uint8_t>(word >> 8));
        frame.push_back(static_cast<uint8_t>(word & 0xFF));
    }
    frame.push_back(unit);
    for (uint8_t byte : pdu) frame.push_back(byte);
    return frame;
}

void WriteAll(int fd, const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t n = send(fd, data, count, MSG_NOSIGNAL);
        if (n <= 0) return;
        data += n;
        count -= static_cast<size_t>(n);
    }
}

}  // namespace

std::unique_ptr<TcpFace> TcpFace::Open(const std::string& comPath, Framing framing, std::string& error) {
    const int com = open(comPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (com < 0) {
        error = "cannot open " + comPath + ": " + std::strerror(errno);
        return nullptr;
    }
    termios raw{};
    cfmakeraw(&raw);
    tcsetattr(com, TCSANOW, &raw);
    std::unique_ptr<TcpFace> face(new TcpFace(com, framing));
    if (!face->Listen(error)) return nullptr;
    face->m_thread = std::thread(&TcpFace::Run, face.get());
    return face;
}

TcpFace::~TcpFace() {
    m_stopping = true;
    if (m_thread.joinable()) m_thread.join();
    CloseClient();
    if (m_listener >= 0) close(m_listener);
    close(m_com);
}

namespace {

sockaddr_in LoopbackAt(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A socket listening on 127.0.0.1:port (0: any free port) with backlog; -1
// when it cannot be had.
int ListeningSocket(uint16_t port, int backlog) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = LoopbackAt(port);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, backlog) != 0) {
        close(listener);
        return -1;
    }
    return listener;
}

}  // namespace

// The port stays the same across refusals, so the host finds it again.
bool TcpFace::Listen(std::string& error) {
    m_listener = ListeningSocket(m_port, 4);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_listener < 0 || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = std::string("cannot listen: ") + std::strerror(errno);
        if (m_listener >= 0) close(m_listener);
        m_listener = -1;
        return false;
    }
    m_port = ntohs(address.sin_port);
    return true;
}

// A queue of backlog 0 holds one connection; the second fills what the
// system allows beyond it on some kernels.
void TcpFace::Stall() {
    const int listener = ListeningSocket(m_port, 0);
    if (listener < 0) return;
    m_stalled.push_back(listener);
    const sockaddr_in address = LoopbackAt(m_port);
    for (int filler = 0; filler < 2; ++filler) {
        const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        m_stalled.push_back(client);
    }
}

void TcpFace::EndStall() {
    for (int socket : m_stalled) close(socket);
    m_stalled.clear();
}

void TcpFace::RefuseFor(std::chrono::milliseconds ms, bool stall) {
    std::lock_guard<std::mutex> lock(m_refuseMutex);
    m_refuseUntil = Clock::now() + ms;
    m_stallRequested = stall;
    m_refuseRequested = true;
}

void TcpFace::AllowPausesInReplies(std::chrono::milliseconds pause) {
    const auto quiet = static_cast<uint32_t>((pause + kQuietMargin).count());
    uint32_t now = m_lineQuietMs.load();
    while (quiet > now && !m_lineQuietMs.compare_exchange_weak(now, quiet)) {
    }
}

void TcpFace::Run() {
    std::string error;
    while (!m_stopping) {
        if (m_dropRequested.exchange(false)) CloseClient();
        if (m_refuseRequested.exchange(false)) {
            CloseClient();
            close(m_listener);
            m_listener = -1;
            std::lock_guard<std::mutex> lock(m_refuseMutex);
            if (m_stallRequested) Stall();
        }
        if (m_listener < 0) {
            std::lock_guard<std::mutex> lock(m_refuseMutex);
            if (Clock::now() >= m_refuseUntil) {
                EndStall();
                Listen(error);
            }
        }
        pollfd ready[3] = {{m_com, POLLIN, 0}, {m_listener, POLLIN, 0}, {m_client, POLLIN, 0}};
        if (poll(ready, 3, kPollMs) > 0) {
            if (ready[1].revents & POLLIN) Accept();
            if (ready[2].revents != 0) TakeRequests();
            if (ready[0].revents & POLLIN) TakeReplies();
        }
        CloseIfIdle();
        if (m_framing == Framing::kMbap) {
            AnswerOverdue();
            ForwardNext();
        }
    }
}

// A new connection replaces the one held, as a box with one slot does.
void TcpFace::Accept() {
    const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    CloseClient();
    const int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_client = client;
    m_lastRequestAt = Clock::now();
}

void TcpFace::CloseClient() {
    if (m_client >= 0) close(m_client);
    m_client = -1;
    m_requests.clear();
    m_waiting.clear();
}

void TcpFace::TakeRequests() {
    uint8_t chunk[512];
    const ssize_t n = recv(m_client, chunk, sizeof chunk, 0);
    if (n <= 0) {
        CloseClient();
        return;
    }
    m_lastRequestAt = Clock::now();
    if (m_muted) return;
    if (m_framing == Framing::kRtu) {
        if (write(m_com, chunk, static_cast<size_t>(n)) < 0) return;
        return;
    }
    m_requests.insert(m_requests.end(), chunk, chunk + n);
    while (m_requests.size() >= kHeaderLength && m_requests.size() >= 6 + size_t{WordAt(m_requests, 4)}) {
        const size_t whole = 6 + size_t{WordAt(m_requests, 4)};
        Bytes rtu(m_requests.begin() + 6, m_requests.begin() + static_cast<ptrdiff_t>(whole));
        const uint16_t transaction = WordAt(m_requests, 0);
        m_requests.erase(m_requests.begin(), m_requests.begin() + static_cast<ptrdiff_t>(whole));
        if (rtu.size() < 2) continue;
        const uint8_t unit = rtu[0];
        const std::optional<uint8_t> station = StationOfUnit(unit);
        if (!station) continue;
        rtu[0] = *station;
        m_waiting.push_back({transaction, unit, WithCrc(rtu), {}});
    }
    ForwardNext();
}

// The gateway listens afresh for each request: what the line brought
// before it is no reply to it.
void TcpFace::ForwardNext() {
    const bool onTheLine = !m_waiting.empty() && m_waiting.front().since != Clock::time_point{};
    if (m_waiting.empty() || onTheLine || Clock::now() < m_lineFreeAt) return;
    m_replies.clear();
    m_waiting.front().since = Clock::now();
    if (write(m_com, m_waiting.front().rtu.data(), m_waiting.front().rtu.size()) < 0) return;
}

// A gateway answers only whole frames with a valid CRC from the station and
// with the function of the request on the line, under its transaction;
// another frame, or one with no request on the line, came too late and is
// dropped. The next request goes out once the line has fallen quiet.
void TcpFace::TakeReplies() {
    uint8_t chunk[512];
    const ssize_t n = read(m_com, chunk, sizeof chunk);
    if (n <= 0 || m_client < 0 || m_muted) return;
    if (m_framing == Framing::kRtu) {
        SendToClient(Bytes(chunk, chunk + n));
        return;
    }
    m_replies.insert(m_replies.end(), chunk, chunk + n);
    m_lineFreeAt = std::max(m_lineFreeAt, Clock::now() + std::chrono::milliseconds(m_lineQuietMs.load()));
    for (const Bytes& frame : TakeWholeFrames(m_replies, ReplyLength)) {
        if (m_waiting.empty() || !HasValidCrc(frame)) continue;
        const Bytes& onLine = m_waiting.front().rtu;
        if (m_waiting.front().since == Clock::time_point{}) continue;
        if (frame[0] != onLine[0] || (frame[1] & 0x7F) != onLine[1]) continue;
        const Waiting answered = m_waiting.front();
        m_waiting.pop_front();
        SendReply(answered.transaction, answered.unit, Bytes(frame.begin() + 1, frame.end() - 2));
    }
    if (m_replies.size() > 512) m_replies.clear();
}

void TcpFace::AnswerOverdue() {
    const auto wait = std::chrono::milliseconds(m_gatewayWaitMs.load());
    if (m_waiting.empty() || m_waiting.front().since == Clock::time_point{} ||
        Clock::now() < m_waiting.front().since + wait) {
        return;
    }
    const Waiting unanswered = m_waiting.front();
    m_waiting.pop_front();
    m_lineFreeAt = Clock::now() + wait;
    if (m_client >= 0 && !m_muted) {
        const Bytes pdu = {static_cast<uint8_t>(unanswered.rtu[1] | 0x80), kTargetFailed};
        SendReply(unanswered.transaction, unanswered.unit, pdu);
    }
}

void TcpFace::AnswerUnitAs(uint8_t unit, uint8_t station) {
    std::lock_guard<std::mutex> lock(m_unitMutex);
    m_stationOfUnit[unit] = station;
}

std::optional<uint8_t> TcpFace::StationOfUnit(uint8_t unit) {
    std::lock_guard<std::mutex> lock(m_unitMutex);
    if (const auto told = m_stationOfUnit.find(unit); told != m_stationOfUnit.end()) return told->second;
    for (const auto& mapped : m_stationOfUnit) {
        if (mapped.second == unit) return std::nullopt;
    }
    return unit;
}

void TcpFace::SendReply(uint16_t transaction, uint8_t unit, const Bytes& pdu) {
    switch (m_transactions.load()) {
    case Transactions::kZero: transaction = 0; break;
    case Transactions::kPlusOne: ++transaction; break;
    case Transactions::kSwapped: transaction = static_cast<uint16_t>(transaction << 8 | transaction >> 8); break;
    default: break;
    }
    SendToClient(Wrapped(transaction, unit, pdu));
}

void TcpFace::CloseIfIdle() {
    const uint32_t idleMs = m_idleCloseMs.load();
    if (idleMs > 0 && m_client >= 0 && Clock::now() >= m_lastRequestAt + std::chrono::milliseconds(idleMs)) {
        CloseClient();
    }
}

void TcpFace::SendToClient(const Bytes& bytes) {
    const size_t segment = m_segmentBytes == 0 ? bytes.size() : m_segmentBytes.load();
    for (size_t at = 0; at < bytes.size(); at += segment) {
        if (at > 0) std::this_thread::sleep_for(kSegmentPause);
        WriteAll(m_client, bytes.data() + at, std::min(segment, bytes.size() - at));
    }
}
