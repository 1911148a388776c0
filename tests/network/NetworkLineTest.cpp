// The network line against a connection played from a script, on a clock
// the test drives: how replies are assembled and judged in both framings,
// when the line counts as lost, and when it tries again. A wait that
// nothing ends moves the clock by its whole length, so no case waits but
// one whose reconnect takes real time on the line's own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "modbus/ReplyShape.h"
#include "network/NetworkLine.h"
#include "support/FrameBytes.h"

namespace {

constexpr uint32_t kResponseTimeoutMs = 300;
constexpr line::ReconnectTiming kReopen{1000, 10000};
constexpr uint32_t kRefused = 10061;  // WSAECONNREFUSED
constexpr uint32_t kReset = 10054;    // WSAECONNRESET

// What the peer does: bytes it sends, or the code the connection fails with.
struct Chunk {
    std::string bytes;
    uint32_t code = 0;
};

class ScriptedSocket : public INetworkSocket {
public:
    explicit ScriptedSocket(uint64_t& nowMs) : m_nowMs(nowMs) {}

    uint32_t Connect(const std::string&, uint16_t, uint32_t) override {
        if (connects > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reconnectMs));
        ++connects;
        const uint32_t code = connectCodes.empty() ? 0 : connectCodes.front();
        if (!connectCodes.empty()) connectCodes.pop_front();
        m_open = code == 0;
        return code;
    }
    // Each request releases the peer's next answer.
    uint32_t Send(const std::string& bytes) override {
        if (sendCode != 0) return sendCode;
        sent.push_back(bytes);
        sentAtMs.push_back(m_nowMs);
        if (!answers.empty()) {
            waiting.insert(waiting.end(), answers.front().begin(), answers.front().end());
            answers.pop_front();
        }
        return 0;
    }
    uint32_t Receive(std::string& into, size_t max, uint32_t waitMs) override {
        if (waiting.empty()) {
            m_nowMs += waitMs;
            return 0;
        }
        Chunk& next = waiting.front();
        if (next.code != 0) {
            const uint32_t code = next.code;
            waiting.pop_front();
            return code;
        }
        into += next.bytes.substr(0, max);
        next.bytes.erase(0, max);
        if (next.bytes.empty()) waiting.pop_front();
        return 0;
    }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }

    std::deque<uint32_t> connectCodes;
    std::deque<Chunk> waiting;                    // there now
    std::deque<std::vector<Chunk>> answers;       // one for each request
    uint32_t sendCode = 0;
    std::vector<std::string> sent;
    std::vector<uint64_t> sentAtMs;
    int connects = 0;
    uint32_t reconnectMs = 0;  // of real time, as over a slow network

private:
    uint64_t& m_nowMs;
    bool m_open = false;
};

class LateTrace : public IExchangeObserver {
public:
    void OnSend(const std::string&, int32_t) override {}
    void OnPortLost(const std::string&, uint32_t) override {}
    void OnPortReopened(const std::string&, uint64_t) override {}
    void OnLateDiscarded(const std::string& bytes) override {
        events.push_back(modbus::LateReplyEvent(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    std::vector<std::string> events;
};

// A network line on COM<index + 1> to gw:502, with its script and clock;
// ownThread makes connects on a thread of the line's own, in real time.
struct ScriptedLine {
    ScriptedLine(int32_t index, modbus::Transport transport, bool ownThread = false) {
        auto owned = std::make_unique<ScriptedSocket>(nowMs);
        socket = owned.get();
        line = std::make_shared<CNetworkLine>(
            std::move(owned), [this](const std::string& text) { events.push_back(text); },
            [this] { return static_cast<int64_t>(nowMs * 1000); }, ownThread);
        m_index = index;
        m_transport = transport;
    }
    uint32_t Open(CNetworkLine::Target target = {}) {
        target.transport = m_transport;
        target.endpoint = {"gw", 502};
        target.connectTimeoutMs = 3000;
        target.reopen = kReopen;
        return line->Open(m_index, target);
    }
    // A read of three holding registers of station 1.
    ExchangeResult Read(std::string& reply, int32_t unitId = -1) {
        reply = ReadRegistersRequest(0, 3);
        int32_t length = static_cast<int32_t>(reply.size());
        const ExchangeResult result = line->ExchangeFramed(
            reply, length, {0, kResponseTimeoutMs, 0, 0, kReopen, 0, unitId}, modbus::ReadReplyShape(1, 3, 3), &trace);
        EXPECT_EQ(static_cast<size_t>(length), reply.size());
        return result;
    }

    uint64_t nowMs = 1000000;
    std::vector<std::string> events;
    LateTrace trace;
    ScriptedSocket* socket;
    std::shared_ptr<CNetworkLine> line;

private:
    int32_t m_index;
    modbus::Transport m_transport;
};

std::string Mbap(uint16_t transaction, const std::string& rtu) {
    std::string frame = Frame({transaction >> 8, transaction & 0xFF, 0, 0, 0, static_cast<int>(rtu.size() - 2)});
    return frame + rtu.substr(0, rtu.size() - 2);
}

std::string WithUnit(std::string rtu, uint8_t unit) {
    rtu[0] = static_cast<char>(unit);
    return rtu;
}

const std::string kReply = ReadRegistersReply({0x1111, 0x2222, 0x3333});
const std::string kOtherReply = ReadRegistersReply({0xBAD, 0xBAD, 0xBAD});

TEST(NetworkLine, RepliesAreAssembledAndJudgedInBothFramings) {
    const auto rtu = modbus::Transport::kRtuOverTcp;
    const auto mbap = modbus::Transport::kModbusTcp;
    const std::string exception0B = WithCrc(Frame({1, 0x83, 0x0B}));
    const std::string exception02 = WithCrc(Frame({1, 0x83, 0x02}));
    const struct {
        const char* situation;
        modbus::Transport transport;
        std::vector<Chunk> waitingBefore;
        std::vector<Chunk> answer;
        ExchangeResult expected;
        std::string reply;
        std::string event;  // the line's or the late trace's last, "" for none
        uint8_t unitId = 1;  // sent, in place of the station
    } cases[] = {
        {"RTU in three segments", rtu, {}, {{kReply.substr(0, 1)}, {kReply.substr(1, 5)}, {kReply.substr(6)}},
         ExchangeResult::kReplied, kReply, ""},
        // In step, the first is taken; the second is dropped before the next request.
        {"RTU, two replies in one segment", rtu, {}, {{kReply + kOtherReply}}, ExchangeResult::kReplied, kReply, ""},
        {"RTU behind bytes that waited", rtu, {{"\x01\x02\x03"}}, {{kReply}}, ExchangeResult::kReplied, kReply,
         "Discarded: COM61, 3 bytes waiting before a request"},
        {"RTU, no reply", rtu, {}, {}, ExchangeResult::kNoReply, "", ""},
        {"RTU, the peer closes", rtu, {}, {{kReply.substr(0, 4)}, {"", INetworkSocket::kPeerClosed}},
         ExchangeResult::kReadFailed, kReply.substr(0, 4), "Lost: COM61, error 10101"},
        // Ended while no request was out: the request goes out on a new connection.
        {"RTU, reset while idle", rtu, {{"", kReset}}, {{kReply}}, ExchangeResult::kReplied, kReply,
         "Reconnected: COM61, reset by the peer while idle"},
        {"Modbus TCP, closed while idle behind a late reply", mbap, {{Mbap(0, kOtherReply)}, {"", INetworkSocket::kPeerClosed}},
         {{Mbap(1, kReply)}}, ExchangeResult::kReplied, kReply, "Reconnected: COM61, closed by the peer while idle"},
        {"Modbus TCP in one-byte segments", mbap, {},
         [] {
             std::vector<Chunk> bytes;
             for (char byte : Mbap(1, kReply)) bytes.push_back({std::string(1, byte)});
             return bytes;
         }(),
         ExchangeResult::kReplied, kReply, ""},
        {"Modbus TCP behind a late reply", mbap, {}, {{Mbap(0, kOtherReply) + Mbap(1, kReply)}},
         ExchangeResult::kReplied, kReply, "Late: station 1 function 3, 11 bytes discarded"},
        {"Modbus TCP behind a late reply that waited", mbap, {{Mbap(0, kOtherReply)}}, {{Mbap(1, kReply)}},
         ExchangeResult::kReplied, kReply, "Late: station 1 function 3, 11 bytes discarded"},
        {"Modbus TCP, a gateway's 0B", mbap, {}, {{Mbap(1, exception0B)}}, ExchangeResult::kNoReply, "",
         "Gateway: station 1 exception 0B, no reply, taken as no reply"},
        {"Modbus TCP, the device's 02", mbap, {}, {{Mbap(1, exception02)}}, ExchangeResult::kReplied, exception02,
         ""},
        {"Modbus TCP, another protocol", mbap, {}, {{Frame({0, 1, 0, 9, 0, 3, 1, 3, 0})}},
         ExchangeResult::kUnplaced, Frame({0, 1, 0, 9, 0, 3, 1}), ""},  // a header's worth, for the trace
        {"Modbus TCP, only a late reply", mbap, {}, {{Mbap(7, kOtherReply)}}, ExchangeResult::kNoReply, "",
         "Late: station 1 function 3, 11 bytes discarded"},
        // A unit id of the station's own must come back; the reply is handed on as the station's.
        {"Modbus TCP, unit id 255", mbap, {}, {{Mbap(1, WithUnit(kReply, 255))}}, ExchangeResult::kReplied, kReply,
         "", 255},
        {"Modbus TCP, unit id 255 answered as 1", mbap, {}, {{Mbap(1, kReply)}}, ExchangeResult::kNoReply, "",
         "Late: station 1 function 3, 11 bytes discarded", 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        ScriptedLine line(60, c.transport);
        ASSERT_EQ(line.Open(), 0u);
        line.socket->waiting.assign(c.waitingBefore.begin(), c.waitingBefore.end());
        line.socket->answers.push_back(c.answer);
        line.nowMs += 1000;  // the host paused: the connection is looked at
        std::string reply;
        EXPECT_EQ(line.Read(reply, c.unitId == 1 ? -1 : c.unitId), c.expected);
        EXPECT_EQ(reply, c.reply);
        std::vector<std::string> events = line.events;
        events.insert(events.end(), line.trace.events.begin(), line.trace.events.end());
        EXPECT_EQ(events.empty() ? "" : events.back(), c.event);
        if (c.expected != ExchangeResult::kSendFailed) {
            const std::string request = ReadRegistersRequest(0, 3);
            EXPECT_EQ(line.socket->sent.at(0), c.transport == rtu ? request : Mbap(1, WithUnit(request, c.unitId)));
        }
        EXPECT_EQ(line.socket->connects, c.event.find("Reconnected") == 0 ? 2 : 1);
    }
}

// A device server's serial side outlives the connection: a reply owed to a
// request on the old one may come over the new one, behind a request of
// its shape, and answers nothing there.
TEST(NetworkLine, AReplyOwedBeforeAReconnectAnswersNoRequestAfterIt) {
    ScriptedLine line(60, modbus::Transport::kRtuOverTcp);
    ASSERT_EQ(line.Open(), 0u);
    std::string reply;
    EXPECT_EQ(line.Read(reply), ExchangeResult::kNoReply);
    line.socket->waiting = {{"", kReset}};
    line.socket->answers = {{{kOtherReply}, {kReply}}};
    std::string request = ReadRegistersRequest(10, 3);
    int32_t length = static_cast<int32_t>(request.size());
    EXPECT_EQ(line.line->ExchangeFramed(request, length, {0, kResponseTimeoutMs, 0, 0, kReopen, 0},
                                        modbus::ReadReplyShape(1, 3, 3), &line.trace),
              ExchangeResult::kUnplaced);
    EXPECT_EQ(line.socket->connects, 2);
}

// A gateway that answers under a rule of its own: under auto the first
// three replies are dropped, which shows the rule, and every read after
// them is answered; the device did answer, so those reads end unplaced,
// not silent. Strict never takes them. Under 0 a late reply must not
// answer the next request: it is listened out, dropped while it waits, and
// two replies behind one request are placed as none.
TEST(NetworkLine, AGatewaysOwnTransactionRuleIsLearnedFromThreeRepliesInARow) {
    // What the gateway answers each request with, by its transaction t: 'z'
    // under 0, 'p' under t + 1, 's' under t swapped, 'o' under t, '-'
    // nothing, 'L' a late reply and then the answer, both under 0.
    const auto answer = [](char kind, uint16_t t) -> std::vector<Chunk> {
        const uint16_t under = kind == 'p' ? t + 1 : kind == 's' ? (t << 8 | t >> 8) : kind == 'o' ? t : 0;
        if (kind == '-') return {};
        if (kind == 'L') return {{Mbap(0, kOtherReply)}, {Mbap(0, kReply)}};
        return {{Mbap(under, kReply)}};
    };
    const std::map<char, ExchangeResult> results = {
        {'R', ExchangeResult::kReplied}, {'N', ExchangeResult::kNoReply}, {'U', ExchangeResult::kUnplaced}};
    const auto automatic = modbus::TransactionCheck::kAuto;
    const struct {
        modbus::TransactionCheck check;
        const char* answers;
        const char* results;
        std::string learned;  // the trace line, "" for none
    } cases[] = {
        {automatic, "zzzzz", "UUURR", "Transactions: COM61 answers with transaction 0"},
        {automatic, "pppp", "UUUR", "Transactions: COM61 answers with the request's transaction plus one"},
        {automatic, "ssss", "UUUR", "Transactions: COM61 answers with the request's transaction, its bytes swapped"},
        {modbus::TransactionCheck::kStrict, "zzzz", "NNNN", ""},
        {automatic, "zzozz", "UURUU", ""},
        {automatic, "zzz-Lz", "UUUNUR", "Transactions: COM61 answers with transaction 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers);
        ScriptedLine line(60, modbus::Transport::kModbusTcp);
        CNetworkLine::Target target;
        target.transactionCheck = c.check;
        ASSERT_EQ(line.Open(target), 0u);
        for (uint16_t read = 0; c.answers[read] != 0; ++read) {
            line.socket->answers = {answer(c.answers[read], read + 1)};
            std::string reply;
            EXPECT_EQ(line.Read(reply), results.at(c.results[read])) << "read " << read;
            EXPECT_EQ(reply == kReply, c.results[read] == 'R');
        }
        const std::string learned = c.learned.empty() ? "Transactions:" : c.learned;
        EXPECT_EQ(std::count(line.events.begin(), line.events.end(), learned), c.learned.empty() ? 0 : 1);
    }
}

// Before a request, a connection that idled longer than idle_close_ms is
// made again, waited for up to the response time-out, and a new connection
// waits connect_delay_ms.
TEST(NetworkLine, TheConnectionIsReadiedBeforeARequest) {
    const struct {
        uint32_t idleCloseMs;
        uint32_t connectDelayMs;
        int connects;        // after the second read, 1.5 s after the first
        uint64_t firstAtMs;  // the first request's time after the open
        std::string event;
        uint32_t reconnectMs = 0;  // on the line's own thread
    } cases[] = {
        {1000, 0, 2, 0, "Reconnected: COM61, idle for 1.5 s"},
        {1000, 0, 2, 0, "Reconnected: COM61, idle for 1.5 s", kResponseTimeoutMs / 3},
        {2000, 0, 1, 0, ""},
        {0, 500, 1, 500, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.idleCloseMs << " ms idle close, reconnect in " << c.reconnectMs << " ms");
        ScriptedLine line(60, modbus::Transport::kModbusTcp, c.reconnectMs > 0);
        line.socket->reconnectMs = c.reconnectMs;
        CNetworkLine::Target target;
        target.idleCloseMs = c.idleCloseMs;
        target.connectDelayMs = c.connectDelayMs;
        const uint64_t openedAtMs = line.nowMs;
        ASSERT_EQ(line.Open(target), 0u);
        line.socket->answers = {{{Mbap(1, kReply)}}, {{Mbap(2, kReply)}}};
        std::string reply;
        EXPECT_EQ(line.Read(reply), ExchangeResult::kReplied);
        EXPECT_EQ(line.socket->sentAtMs.at(0) - openedAtMs, c.firstAtMs);
        line.nowMs += 1500;
        EXPECT_EQ(line.Read(reply), ExchangeResult::kReplied);
        EXPECT_EQ(line.socket->connects, c.connects);
        EXPECT_EQ(line.events.empty() ? "" : line.events.back(), c.event);
    }
}

// Attempts come every second for the first minute of a loss, then at
// intervals that double up to 10 s; none between, however often the host
// reads.
TEST(NetworkLine, ALostLineTriesAgainByItsSchedule) {
    ScriptedLine line(61, modbus::Transport::kModbusTcp);
    line.socket->connectCodes.assign(200, kRefused);
    ASSERT_EQ(line.Open(), 0u);
    EXPECT_EQ(line.events, std::vector<std::string>{"Lost: COM62, error 10061"});
    const struct {
        uint64_t afterMs;
        int attempts;  // made by a read after afterMs more, all told
    } steps[] = {
        {0, 1},  {500, 1},  {499, 1}, {1, 2},    {999, 2}, {1, 3},    {57000, 4}, {1000, 5}, {1999, 5},
        {1, 6},  {3999, 6}, {1, 7},   {7999, 7}, {1, 8},   {9999, 8}, {1, 9},
    };
    std::string reply;
    for (const auto& step : steps) {
        line.nowMs += step.afterMs;
        EXPECT_EQ(line.Read(reply), ExchangeResult::kSendFailed);
        EXPECT_EQ(line.socket->connects, step.attempts) << "after " << step.afterMs;
        EXPECT_EQ(line.socket->sent.size(), 0u);
    }
    line.socket->connectCodes.clear();
    line.nowMs += 10000;
    line.socket->answers.push_back({{Mbap(1, kReply)}});
    EXPECT_EQ(line.Read(reply), ExchangeResult::kReplied);
    EXPECT_EQ(line.events.back(), "Reopened: COM62 after 94.0 s");
}

// A send that fails loses the line at once; a connection on which no
// request got a reply for 10 s is dropped, and a reply in between starts
// the count again.
TEST(NetworkLine, AFailedSendOrTenSilentSecondsLoseTheConnection) {
    ScriptedLine line(62, modbus::Transport::kRtuOverTcp);
    ASSERT_EQ(line.Open(), 0u);
    std::string reply;
    for (int read = 0; read < 5; ++read) EXPECT_EQ(line.Read(reply), ExchangeResult::kNoReply);
    line.socket->answers.push_back({{kReply}});
    EXPECT_EQ(line.Read(reply), ExchangeResult::kReplied);
    EXPECT_TRUE(line.events.empty());
    for (int read = 0; read < 35 && line.socket->IsOpen(); ++read) {
        EXPECT_EQ(line.Read(reply), ExchangeResult::kNoReply);
    }
    EXPECT_FALSE(line.socket->IsOpen());
    ASSERT_EQ(line.events.size(), 1u);
    EXPECT_EQ(line.events[0], "Lost: COM63, error 10060");

    EXPECT_EQ(line.Read(reply), ExchangeResult::kSendFailed);  // no attempt is due yet
    line.nowMs += 1000;
    EXPECT_EQ(line.Read(reply), ExchangeResult::kNoReply);
    line.socket->sendCode = kReset;
    EXPECT_EQ(line.Read(reply), ExchangeResult::kSendFailed);
    EXPECT_EQ(line.events.back(), "Lost: COM63, error 10054");
}

}  // namespace
