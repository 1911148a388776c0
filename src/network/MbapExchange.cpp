// The framed exchange of a Modbus TCP line. The transaction number tells a
// late reply apart: it is dropped and traced, and the exchange waits on for
// its own within the same deadline. Nothing is read before a request while
// the stream of frames is sound: what waits there is a whole frame, which
// its transaction tells apart anyway. A header that is not one of Modbus
// TCP, or a frame cut short, leaves the stream in doubt, and what waits
// before the next request is dropped.
//
// A connection that answers by a rule of its own (modbus/MbapTransactions.h)
// is matched by it once learned. Where the rule is 0 for every reply, the
// number tells nothing apart, and the line keeps order as an RTU line does:
// whatever waits before a request is dropped, a request that got no reply
// is listened out for one more response time-out before the next goes out,
// and while a reply may still come late, a reply is taken only behind a
// connection that stays quiet.
#include <algorithm>

#include "modbus/Crc.h"
#include "modbus/MbapFrames.h"
#include "network/NetworkLine.h"

enum class CNetworkLine::MbapEnd {
    kOwn,             // the reply of the request's own transaction
    kGatewayNoReply,  // a gateway answered that the device did not
    kNoReply,
    kBroken,          // the deadline passed before the reply was whole, or the stream is no Modbus TCP
    kUnmatched,       // the device answered, but under a transaction rule not yet taken
    kLost,            // the connection failed while the reply was read
};

// What the reply to one request carries.
struct CNetworkLine::MbapAwaited {
    uint16_t transaction;  // sent
    uint8_t unitId;
    modbus::ReplyShape reply;
    uint32_t responseTimeoutMs;
};

namespace {

constexpr uint8_t kExceptionBit = 0x80;
// What waits on a stream in doubt is read until it stays quiet this long.
constexpr uint32_t kQuietMs = 10;

const uint8_t* BytesOf(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

uint8_t UnitIdFor(const LineUse& use, const modbus::ReplyShape& reply) {
    return use.unitId < 0 ? reply.station : static_cast<uint8_t>(use.unitId);
}

// Whether an RTU frame has the function and length of the reply, or of its
// exception.
bool FitsShape(const std::string& rtu, const modbus::ReplyShape& reply) {
    if (rtu.size() < 2) return false;
    const uint8_t function = static_cast<uint8_t>(rtu[1]);
    if (function == reply.function) return rtu.size() == reply.length;
    return function == (reply.function | kExceptionBit) && rtu.size() == reply.exceptionLength;
}

// The frame as its station would have sent it on the line: the unit id the
// gateway answered under gives way to the station's address.
void PutStation(std::string& rtu, uint8_t station) {
    rtu[0] = static_cast<char>(station);
    const uint16_t crc = modbus::ComputeCrc(BytesOf(rtu), rtu.size() - 2);
    rtu[rtu.size() - 2] = static_cast<char>(crc & 0xFF);
    rtu[rtu.size() - 1] = static_cast<char>(crc >> 8);
}

}  // namespace

ExchangeResult CNetworkLine::ExchangeMbap(std::string& data, int32_t& length, const LineUse& use,
                                          const modbus::ReplyShape& reply, IExchangeObserver* observer) {
    if (!SettleBeforeMbapRequest(use, observer) || !KeepRequestGap(use.requestGapMs)) {
        return Emptied(data, length, ExchangeResult::kSendFailed);
    }
    const std::string request = data.substr(0, static_cast<size_t>(std::clamp<int32_t>(length, 0, data.size())));
    const MbapAwaited awaited{++m_transaction, UnitIdFor(use, reply), reply, use.responseTimeout};
    if (observer != nullptr) observer->OnSend(request, length);
    if (uint32_t code = m_socket->Send(modbus::MbapFromRtu(awaited.transaction, awaited.unitId, request))) {
        Lose(code);
        return Emptied(data, length, ExchangeResult::kSendFailed);
    }
    const int64_t sentAtUs = m_nowUs();
    const uint64_t replyMs =
        uint64_t{use.responseTimeout} + uint64_t{std::max(reply.length, reply.exceptionLength)} * uint64_t{kMsPerReplyByte};
    const int64_t deadlineUs = sentAtUs + static_cast<int64_t>(replyMs * 1000);
    data.clear();
    MbapEnd end = ReadMbapReply(awaited, deadlineUs, observer, data);
    end = CheckQuietBehind(awaited, deadlineUs, end);
    if (end != MbapEnd::kLost) {
        CountSilence(end != MbapEnd::kNoReply, sentAtUs);
        NoteMbapEnd(end, use, reply, sentAtUs);
    }
    return FinishMbap(end, data, length);
}

ExchangeResult CNetworkLine::FinishMbap(MbapEnd end, std::string& data, int32_t& length) {
    length = static_cast<int32_t>(data.size());
    switch (end) {
    case MbapEnd::kOwn:
        return ExchangeResult::kReplied;
    case MbapEnd::kBroken:
        return ExchangeResult::kUnplaced;
    case MbapEnd::kUnmatched:
        return Emptied(data, length, ExchangeResult::kUnplaced);
    case MbapEnd::kGatewayNoReply:
        m_traceEvent("Gateway: station " + std::to_string(static_cast<uint8_t>(data[0])) + " exception " +
                     (data[2] == 0x0A ? "0A, no path" : "0B, no reply") + ", taken as no reply");
        return Emptied(data, length, ExchangeResult::kNoReply);
    case MbapEnd::kLost:
        return ExchangeResult::kReadFailed;
    default:
        return Emptied(data, length, ExchangeResult::kNoReply);
    }
}

// Where replies cannot be told apart, an unanswered request's reply is
// listened out, and whatever waits is dropped, before every request.
bool CNetworkLine::SettleBeforeMbapRequest(const LineUse& use, IExchangeObserver* observer) {
    if (!m_transactions.TellsRequestsApart()) {
        const uint32_t listenMs = m_listenOutUnanswered ? use.responseTimeout : 0;
        m_listenOutUnanswered = false;
        m_framesInDoubt = false;
        return DiscardWaiting(listenMs, listenMs + use.responseTimeout, observer);
    }
    if (!m_framesInDoubt) return true;
    m_framesInDoubt = false;
    return DiscardWaiting(0, use.responseTimeout, observer);
}

// What comes is dropped: whole frames traced as late replies, the rest
// with a trace line saying how much.
bool CNetworkLine::DiscardWaiting(uint32_t firstWindowMs, uint32_t longestMs, IExchangeObserver* observer) {
    std::string waiting;
    const line::QuietRead read = line::ReadUntilQuiet(m_source, waiting, firstWindowMs, kQuietMs, longestMs);
    if (read.code != 0) {
        m_endedBeforeRequest = m_source.TakeFailure();
        return false;
    }
    while (!waiting.empty() && modbus::MbapBytesMissing(BytesOf(waiting), waiting.size()) == 0) {
        std::string rtu;
        size_t frameLength = 0;
        const uint16_t transaction = modbus::MbapTransactionOf(BytesOf(waiting));
        if (modbus::RtuFromMbap(BytesOf(waiting), waiting.size(), transaction, rtu, frameLength) !=
            modbus::MbapReply::kOwn) {
            break;
        }
        DiscardLateFrame(waiting, frameLength, observer);
        waiting.erase(0, frameLength);
    }
    if (!waiting.empty()) {
        m_traceEvent(WaitingDiscardedEvent(PortName(), waiting.size()));
    }
    return true;
}

// Each read takes whatever has come up to the header's or the frame's end,
// waiting for it until the deadline.
CNetworkLine::MbapEnd CNetworkLine::ReadMbapReply(const MbapAwaited& awaited, int64_t deadlineUs,
                                                  IExchangeObserver* observer, std::string& data) {
    std::string frame;
    bool unmatched = false;
    for (;;) {
        const size_t missing = modbus::MbapBytesMissing(BytesOf(frame), frame.size());
        if (missing > 0) {
            const int64_t leftUs = deadlineUs - m_nowUs();
            const uint32_t leftMs = leftUs <= 0 ? 0 : static_cast<uint32_t>((leftUs + 999) / 1000);
            uint32_t got = 0;
            if (leftMs > 0 && m_source.Read(frame, static_cast<uint32_t>(missing), leftMs, leftMs, got) != 0) {
                Lose(m_source.TakeFailure());
                data = frame;
                return MbapEnd::kLost;
            }
            if (got > 0) continue;
            m_framesInDoubt = !frame.empty();
            data = frame;
            if (!frame.empty()) return MbapEnd::kBroken;
            return unmatched ? MbapEnd::kUnmatched : MbapEnd::kNoReply;
        }
        size_t frameLength = 0;
        const uint16_t expected = m_transactions.Expected(awaited.transaction);
        switch (modbus::RtuFromMbap(BytesOf(frame), frame.size(), expected, data, frameLength)) {
        case modbus::MbapReply::kOwn:
            if (const MbapEnd end = TakeOwnFrame(awaited, data); end != MbapEnd::kNoReply) return end;
            break;
        case modbus::MbapReply::kOtherTransaction:
            unmatched = LearnTransactions(frame, frameLength, awaited) || unmatched;
            break;
        case modbus::MbapReply::kMalformed:
            m_framesInDoubt = true;
            data = frame;
            return MbapEnd::kBroken;
        }
        DiscardLateFrame(frame, frameLength, observer);
        frame.erase(0, frameLength);
    }
}

// A frame under the number expected answers the request when it carries
// the request's unit id; under a learned rule it must have the reply's
// function and length too, since the number alone proves less. kNoReply:
// it answers something else.
CNetworkLine::MbapEnd CNetworkLine::TakeOwnFrame(const MbapAwaited& awaited, std::string& data) {
    const bool learned = m_transactions.Relation() != modbus::TransactionRelation::kSame;
    if (static_cast<uint8_t>(data[0]) != awaited.unitId || (learned && !FitsShape(data, awaited.reply))) {
        return MbapEnd::kNoReply;
    }
    m_transactions.Matched();
    PutStation(data, awaited.reply.station);
    return modbus::IsGatewayNoReply(data) ? MbapEnd::kGatewayNoReply : MbapEnd::kOwn;
}

// A frame under another number that is otherwise the request's answer
// counts towards the rule the connection answers by. Whether it did: the
// device answered then, and its station is not silent, though the reply is
// not taken.
bool CNetworkLine::LearnTransactions(const std::string& frame, size_t frameLength, const MbapAwaited& awaited) {
    std::string rtu;
    size_t length = 0;
    const uint16_t got = modbus::MbapTransactionOf(BytesOf(frame));
    modbus::RtuFromMbap(BytesOf(frame), frameLength, got, rtu, length);
    if (static_cast<uint8_t>(rtu[0]) != awaited.unitId || !FitsShape(rtu, awaited.reply)) return false;
    const auto learning = m_transactions.Learn(awaited.transaction, got);
    if (learning == modbus::CTransactionRule::Learning::kLearned) {
        m_traceEvent("Transactions: " + PortName() + " answers with " +
                     modbus::RelationText(m_transactions.Relation()));
    }
    return learning != modbus::CTransactionRule::Learning::kNone;
}

// While a reply may still come late and the number cannot tell it apart,
// a reply is taken only behind a connection that stays quiet up to the
// deadline and a response time-out behind it: were it the late one, the
// request's own would come in that time. Two replies are placed as none.
CNetworkLine::MbapEnd CNetworkLine::CheckQuietBehind(const MbapAwaited& awaited, int64_t deadlineUs, MbapEnd end) {
    const bool replied = end == MbapEnd::kOwn || end == MbapEnd::kGatewayNoReply;
    if (!replied || m_transactions.TellsRequestsApart() || m_nowUs() >= m_owedUntilUs) return end;
    const int64_t quietUntilUs = std::max(deadlineUs, m_nowUs() + int64_t{awaited.responseTimeoutMs} * 1000);
    const int64_t leftUs = quietUntilUs - m_nowUs();
    const uint32_t leftMs = static_cast<uint32_t>((leftUs + 999) / 1000);
    std::string behind;
    uint32_t got = 0;
    if (m_source.Read(behind, 1, leftMs, leftMs, got) != 0) {
        Lose(m_source.TakeFailure());
        return MbapEnd::kLost;
    }
    if (got == 0) return end;
    m_framesInDoubt = true;
    return MbapEnd::kBroken;
}

// Where the number tells requests apart, it is all the order needed.
void CNetworkLine::NoteMbapEnd(MbapEnd end, const LineUse& use, const modbus::ReplyShape& reply,
                               int64_t sentAtUs) {
    if (m_transactions.TellsRequestsApart() || end == MbapEnd::kOwn || end == MbapEnd::kGatewayNoReply) return;
    m_listenOutUnanswered = true;
    const uint32_t lateMs = line::CReplyPlacer::LateReplyLimitMs({"", reply, use.responseTimeout, use.lateReplyMaxMs});
    m_owedUntilUs = std::max(m_owedUntilUs, sentAtUs + int64_t{lateMs} * 1000);
}

// Traced as the RTU frame it stands for, as every frame of the line is.
void CNetworkLine::DiscardLateFrame(const std::string& frame, size_t frameLength, IExchangeObserver* observer) {
    std::string rtu;
    size_t length = 0;
    modbus::RtuFromMbap(BytesOf(frame), frameLength, modbus::MbapTransactionOf(BytesOf(frame)), rtu, length);
    if (observer != nullptr) observer->OnLateDiscarded(rtu);
}
