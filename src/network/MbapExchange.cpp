// The framed exchange of a Modbus TCP line. The transaction number tells a
// late reply apart: it is dropped and traced, and the exchange waits on for
// its own within the same deadline. Nothing is read before a request while
// the stream of frames is sound: what waits there is a whole frame, which
// its transaction tells apart anyway. A header that is not one of Modbus
// TCP, or a frame cut short, leaves the stream in doubt, and what waits
// before the next request is dropped.
#include <algorithm>

#include "modbus/MbapFrames.h"
#include "network/NetworkLine.h"

enum class CNetworkLine::MbapEnd {
    kOwn,             // the reply of the request's own transaction
    kGatewayNoReply,  // a gateway answered that the device did not
    kNoReply,
    kBroken,          // the deadline passed before the reply was whole, or the stream is no Modbus TCP
    kLost,            // the connection failed while the reply was read
};

namespace {

// Replies behind a gateway come at the pace of its serial port; this
// allows each byte 2 ms, 4800 baud and faster.
constexpr uint64_t kMsPerReplyByte = 2;
// What waits on a stream in doubt is read until it stays quiet this long.
constexpr uint32_t kQuietMs = 10;

uint16_t TransactionOf(const std::string& frame) {
    return static_cast<uint16_t>(static_cast<uint8_t>(frame[0]) << 8 | static_cast<uint8_t>(frame[1]));
}

const uint8_t* BytesOf(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

}  // namespace

ExchangeResult CNetworkLine::ExchangeMbap(std::string& data, int32_t& length, const LineUse& use,
                                          const modbus::ReplyShape& reply, IExchangeObserver* observer) {
    if (m_framesInDoubt && !DiscardBrokenStream(use)) return Emptied(data, length, ExchangeResult::kSendFailed);
    if (use.requestGapMs > 0) Sleep(use.requestGapMs);
    const std::string request = data.substr(0, static_cast<size_t>(std::clamp<int32_t>(length, 0, data.size())));
    ++m_transaction;
    if (observer != nullptr) observer->OnSend(request, length);
    if (uint32_t code = m_socket->Send(modbus::MbapFromRtu(m_transaction, request))) {
        Lose(code);
        return Emptied(data, length, ExchangeResult::kSendFailed);
    }
    const int64_t sentAtUs = m_nowUs();
    const uint64_t replyMs =
        uint64_t{use.responseTimeout} + uint64_t{std::max(reply.length, reply.exceptionLength)} * kMsPerReplyByte;
    data.clear();
    const MbapEnd end = ReadMbapReply(sentAtUs + static_cast<int64_t>(replyMs * 1000), observer, data);
    if (end != MbapEnd::kLost) CountSilence(end != MbapEnd::kNoReply, sentAtUs);
    return FinishMbap(end, data, length);
}

ExchangeResult CNetworkLine::FinishMbap(MbapEnd end, std::string& data, int32_t& length) {
    length = static_cast<int32_t>(data.size());
    switch (end) {
    case MbapEnd::kOwn:
        return ExchangeResult::kReplied;
    case MbapEnd::kBroken:
        return ExchangeResult::kUnplaced;
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

// What waits is dropped, with a trace line saying how much.
bool CNetworkLine::DiscardBrokenStream(const LineUse& use) {
    m_framesInDoubt = false;
    std::string waiting;
    const line::QuietRead read = line::ReadUntilQuiet(m_source, waiting, 0, kQuietMs, use.responseTimeout);
    if (read.code != 0) {
        Lose(m_source.TakeFailure());
        return false;
    }
    if (!waiting.empty()) {
        m_traceEvent("Discarded: " + PortName() + ", " + std::to_string(waiting.size()) +
                     " bytes waiting before a request");
    }
    return true;
}

// Each read takes whatever has come up to the header's or the frame's end,
// waiting for it until the deadline.
CNetworkLine::MbapEnd CNetworkLine::ReadMbapReply(int64_t deadlineUs, IExchangeObserver* observer,
                                                  std::string& data) {
    std::string frame;
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
            return frame.empty() ? MbapEnd::kNoReply : MbapEnd::kBroken;
        }
        size_t frameLength = 0;
        switch (modbus::RtuFromMbap(BytesOf(frame), frame.size(), m_transaction, data, frameLength)) {
        case modbus::MbapReply::kOwn:
            return modbus::IsGatewayNoReply(data) ? MbapEnd::kGatewayNoReply : MbapEnd::kOwn;
        case modbus::MbapReply::kOtherTransaction:
            DiscardLateFrame(frame, frameLength, observer);
            frame.erase(0, frameLength);
            break;
        case modbus::MbapReply::kMalformed:
            m_framesInDoubt = true;
            data = frame;
            return MbapEnd::kBroken;
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
