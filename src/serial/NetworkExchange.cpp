// The framed exchange of a network line. Whatever waits on the connection
// before a request is read and dropped; an RTU reply is assembled by its
// shape and a Modbus TCP reply by its header, across any number of TCP
// segments. A Modbus TCP line reads nothing before its request while its
// stream of frames is sound: what waits there is a whole frame, which its
// transaction tells apart anyway. On RTU over TCP the late-reply protection
// of the serial line holds unchanged: a request that got no reply leaves the
// line listening for it until one more response time-out has passed, and a
// reply complete while an earlier one may still come is taken only once
// nothing follows it. On Modbus TCP the transaction number tells a late reply apart: it is
// dropped and traced, and the exchange waits on for its own.
#include <algorithm>

#include "modbus/MbapFrames.h"
#include "serial/NetworkLine.h"

enum class CNetworkLine::ReplyEnd {
    kGoing,           // more bytes may come before the time-outs
    kComplete,        // the reply is whole
    kGatewayNoReply,  // a gateway answered that the device did not
    kNoReply,
    kOverdue,         // the deadline passed before the reply was whole
    kLost,            // the connection failed while the reply was read
};

struct CNetworkLine::Reading {
    uint64_t sentAtMs;
    uint64_t firstByteByMs;  // a reply that has not begun by then is none
    uint64_t deadlineMs;     // a reply that began is whole by then
    const ReplyNeed& need;
    IExchangeObserver* observer;
    bool begun = false;
};

namespace {

// Replies behind a device server come at the pace of its serial port; this
// allows each byte 2 ms, 4800 baud and faster.
constexpr uint64_t kMsPerReplyByte = 2;
// A reply is followed by nothing once the connection stayed quiet this long.
constexpr uint32_t kQuietMs = 10;
// What an exchange keeps of a peer that never stops sending: a few frames.
constexpr size_t kKeptBytes = 4 * 256;
constexpr size_t kReadChunk = 1024;

uint16_t TransactionOf(const std::string& frame) {
    return static_cast<uint16_t>(static_cast<uint8_t>(frame[0]) << 8 | static_cast<uint8_t>(frame[1]));
}

const uint8_t* BytesOf(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

}  // namespace

ExchangeResult CNetworkLine::ExchangeFramed(std::string& data, int32_t& length, const LineUse& use,
                                            const ReplyNeed& need, uint32_t longestReply,
                                            IExchangeObserver* observer) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    m_reopen = use.reopen;
    const bool mbap = m_target.transport == modbus::Transport::kModbusTcp;
    const bool discard = !mbap || m_framesInDoubt;
    if (!Connected() || (discard && !DiscardWaiting(use, observer))) {
        return Emptied(data, length, ExchangeResult::kSendFailed);
    }
    if (use.requestGapMs > 0) Sleep(use.requestGapMs);
    const std::string request = data.substr(0, static_cast<size_t>(std::max(length, 0)));
    if (mbap) ++m_transaction;
    if (observer != nullptr) observer->OnSend(request, length);
    if (uint32_t code = m_socket->Send(mbap ? modbus::MbapFromRtu(m_transaction, request) : request)) {
        Lose(code);
        return Emptied(data, length, ExchangeResult::kSendFailed);
    }
    const uint64_t now = m_nowMs();
    const uint64_t replyMs = uint64_t{use.responseTimeout} + uint64_t{longestReply} * kMsPerReplyByte;
    Reading reading{now, now + (mbap ? replyMs : use.responseTimeout), now + replyMs, need, observer};
    data.clear();
    return Finish(mbap ? ReadMbapReply(reading, data) : ReadRtuReply(reading, data), reading, data, length);
}

ExchangeResult CNetworkLine::Finish(ReplyEnd end, const Reading& reading, std::string& data, int32_t& length) {
    const bool mbap = m_target.transport == modbus::Transport::kModbusTcp;
    if (!mbap && (end == ReplyEnd::kNoReply || end == ReplyEnd::kOverdue)) {
        m_lateReplyUntilMs = reading.deadlineMs + (reading.firstByteByMs - reading.sentAtMs);
    }
    if (end != ReplyEnd::kLost) CountSilence(end != ReplyEnd::kNoReply, reading.sentAtMs);
    length = static_cast<int32_t>(data.size());
    switch (end) {
    case ReplyEnd::kComplete:
    case ReplyEnd::kOverdue:
        return ExchangeResult::kReplied;
    case ReplyEnd::kGatewayNoReply:
        m_traceEvent("Gateway: station " + std::to_string(static_cast<uint8_t>(data[0])) + " exception " +
                     (data[2] == 0x0A ? "0A, no path" : "0B, no reply") + ", taken as no reply");
        return Emptied(data, length, ExchangeResult::kNoReply);
    case ReplyEnd::kLost:
        return ExchangeResult::kReadFailed;
    default:
        return Emptied(data, length, ExchangeResult::kNoReply);
    }
}

// An unanswered request's late reply is waited out first and dropped; then
// whatever else waits is dropped, with a trace line saying how much.
bool CNetworkLine::DiscardWaiting(const LineUse& use, IExchangeObserver* observer) {
    if (m_lateReplyUntilMs != 0) {
        const uint64_t now = m_nowMs();
        const uint32_t leftMs = static_cast<uint32_t>(m_lateReplyUntilMs > now ? m_lateReplyUntilMs - now : 0);
        std::string late;
        if (uint32_t code = ReadUntilQuiet(late, leftMs, leftMs + use.responseTimeout)) {
            Lose(code);
            return false;
        }
        m_lateReplyUntilMs = 0;
        if (!late.empty() && observer != nullptr) observer->OnLateDiscarded(late);
    }
    std::string waiting;
    m_framesInDoubt = false;
    if (uint32_t code = ReadUntilQuiet(waiting, 0, use.responseTimeout)) {
        Lose(code);
        return false;
    }
    if (!waiting.empty()) {
        m_traceEvent("Discarded: " + PortName() + ", " + std::to_string(waiting.size()) +
                     " bytes waiting before a request");
    }
    return true;
}

// Reads while bytes come: the first read waits up to firstWaitMs, each
// further one up to kQuietMs. A peer that never falls quiet is given up on
// after longestMs or kKeptBytes. Returns the connection's code.
uint32_t CNetworkLine::ReadUntilQuiet(std::string& into, uint32_t firstWaitMs, uint32_t longestMs) {
    const uint64_t giveUpAt = m_nowMs() + longestMs;
    const size_t held = into.size();
    into += m_received;
    m_received.clear();
    for (uint32_t wait = firstWaitMs; m_nowMs() <= giveUpAt && into.size() - held < kKeptBytes; wait = kQuietMs) {
        const size_t before = into.size();
        if (uint32_t code = m_socket->Receive(into, kReadChunk, wait)) return code;
        if (into.size() == before) break;
    }
    return 0;
}

// Takes count bytes at most, from what an earlier read brought or else
// from the connection, waiting up to the time-out that applies: the
// response time-out for the first byte, the deadline for the rest. A read
// takes whatever has come, so that a reply costs one call however it is
// taken apart.
CNetworkLine::ReplyEnd CNetworkLine::ReadSome(Reading& reading, std::string& into, size_t count) {
    const uint64_t now = m_nowMs();
    const uint64_t until = reading.begun ? reading.deadlineMs : reading.firstByteByMs;
    if (m_received.empty() && now >= until) return reading.begun ? ReplyEnd::kOverdue : ReplyEnd::kNoReply;
    if (m_received.empty()) {
        if (uint32_t code = m_socket->Receive(m_received, kReadChunk, static_cast<uint32_t>(until - now))) {
            Lose(code);
            return ReplyEnd::kLost;
        }
    }
    const size_t taken = std::min(count, m_received.size());
    into.append(m_received, 0, taken);
    m_received.erase(0, taken);
    if (taken > 0) reading.begun = true;
    if (into.size() > kKeptBytes) into.erase(0, into.size() - kKeptBytes);
    return ReplyEnd::kGoing;
}

// A complete reply is taken only with whatever follows it up to the
// silence, so that the caller finds two replies where it must not take
// either: a device server streams the line's bytes as they come, so a reply
// sent twice, or one of an earlier request, can still be arriving when the
// next request would go out, and nothing on the connection tells it apart.
CNetworkLine::ReplyEnd CNetworkLine::ReadRtuReply(Reading& reading, std::string& data) {
    for (;;) {
        const uint32_t missing = reading.need(data);
        if (missing == 0) break;
        // A whole frame that cannot be the reply is judged at once.
        if (missing == kNotTheReply) return ReplyEnd::kComplete;
        const ReplyEnd end = ReadSome(reading, data, missing);
        if (end != ReplyEnd::kGoing) return end;
    }
    if (uint32_t code = ReadUntilQuiet(data, kQuietMs, kQuietMs * 10)) {
        Lose(code);
        return ReplyEnd::kLost;
    }
    return ReplyEnd::kComplete;
}

// A frame of another transaction answered an earlier request: it is dropped
// and the wait goes on, within the same deadline. A header that is not one
// of Modbus TCP ends the reply as it is, for the caller to find it broken.
CNetworkLine::ReplyEnd CNetworkLine::ReadMbapReply(Reading& reading, std::string& data) {
    std::string frame;
    for (;;) {
        const size_t missing = modbus::MbapBytesMissing(BytesOf(frame), frame.size());
        if (missing > 0) {
            const ReplyEnd end = ReadSome(reading, frame, missing);
            if (end == ReplyEnd::kGoing) continue;
            m_framesInDoubt = !frame.empty();
            data = frame;
            return end;
        }
        size_t frameLength = 0;
        switch (modbus::RtuFromMbap(BytesOf(frame), frame.size(), m_transaction, data, frameLength)) {
        case modbus::MbapReply::kOwn:
            return modbus::IsGatewayNoReply(data) ? ReplyEnd::kGatewayNoReply : ReplyEnd::kComplete;
        case modbus::MbapReply::kOtherTransaction:
            DiscardLateFrame(frame, frameLength, reading.observer);
            frame.erase(0, frameLength);
            reading.begun = !frame.empty();
            break;
        case modbus::MbapReply::kMalformed:
            m_framesInDoubt = true;
            data = frame;
            return ReplyEnd::kComplete;
        }
    }
}

// Traced as the RTU frame it stands for, as every frame of the line is.
void CNetworkLine::DiscardLateFrame(const std::string& frame, size_t frameLength, IExchangeObserver* observer) {
    std::string rtu;
    size_t length = 0;
    modbus::RtuFromMbap(BytesOf(frame), frameLength, TransactionOf(frame), rtu, length);
    if (observer != nullptr) observer->OnLateDiscarded(rtu);
}
