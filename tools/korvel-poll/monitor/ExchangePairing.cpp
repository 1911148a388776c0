// Pairing a listened line's requests with their replies.
#include "korvel-poll/monitor/ExchangePairing.h"

#include <algorithm>

#include "modbus/FrameLength.h"
#include "modbus/ReplyVerdict.h"

namespace monitor {
namespace {

constexpr uint8_t kExceptionBit = 0x80;
constexpr uint8_t kBroadcastStation = 0;
// A line that stays quiet this long after an exchange has it told without
// the gap: a master that polls more slowly than this leaves no gap to tell.
constexpr int64_t kQuietTellUs = 10 * 1000 * 1000;

std::vector<uint8_t> Bytes(const std::string& frame) {
    return std::vector<uint8_t>(frame.begin(), frame.end());
}

uint8_t At(const std::string& frame, size_t index) {
    return index < frame.size() ? static_cast<uint8_t>(frame[index]) : 0;
}

// The reply or exception that answers request, by its station, function
// and shape.
bool Answers(const std::string& request, const std::string& reply) {
    const uint8_t function = At(request, 1);
    if (At(reply, 0) != At(request, 0) || (At(reply, 1) & ~kExceptionBit) != function) return false;
    const modbus::ReplyKind kind = modbus::JudgeReply(Bytes(request), Bytes(reply)).kind;
    return kind == modbus::ReplyKind::kReply || kind == modbus::ReplyKind::kException;
}

bool IsRequest(const CutFrame& frame) {
    const modbus::OwnLength length =
        modbus::RequestLength(reinterpret_cast<const uint8_t*>(frame.bytes.data()), frame.bytes.size());
    return length.known && length.length == frame.bytes.size();
}

Exchange Heard(Outcome outcome, const CutFrame& frame) {
    Exchange heard;
    heard.outcome = outcome;
    heard.reply = frame.bytes;
    heard.startUs = heard.replyStartUs = frame.startUs;
    heard.endUs = frame.endUs;
    return heard;
}

}  // namespace

uint8_t Exchange::Station() const {
    return At(request.empty() ? reply : request, 0);
}

uint8_t Exchange::Function() const {
    return request.empty() ? At(reply, 1) & ~kExceptionBit : At(request, 1);
}

std::optional<int64_t> Exchange::AnswerUs() const {
    if (request.empty() || reply.empty()) return std::nullopt;
    return replyStartUs - requestEndUs;
}

CExchangePairing::CExchangePairing(int64_t timeoutUs) : m_timeoutUs(timeoutUs) {}

void CExchangePairing::Add(const CutFrame& frame, std::vector<Exchange>& told) {
    if (m_outstanding && frame.startUs - m_outstanding->requestEndUs > m_timeoutUs) Settle(Outcome::kNoReply, nullptr);
    AddFrame(frame, told);
}

void CExchangePairing::AddFrame(const CutFrame& frame, std::vector<Exchange>& told) {
    if (frame.kind == CutKind::kNoise) return Hold(Heard(Outcome::kNoise, frame));
    if (frame.kind == CutKind::kBadCrc) {
        if (m_outstanding && m_outstanding->Station() == At(frame.bytes, 0)) return Settle(Outcome::kCrcError, &frame);
        return Hold(Heard(Outcome::kCrcError, frame));
    }
    if (m_outstanding && Answers(m_outstanding->request, frame.bytes)) {
        return Settle(At(frame.bytes, 1) & kExceptionBit ? Outcome::kException : Outcome::kReply, &frame);
    }
    if (IsRequest(frame)) return StartRequest(frame, told);
    Hold(Heard(Outcome::kUnsolicited, frame));
}

// The exchanges held since the last request learn their gap and are told.
void CExchangePairing::StartRequest(const CutFrame& frame, std::vector<Exchange>& told) {
    if (m_outstanding) Settle(Outcome::kNoReply, nullptr);
    for (Exchange& held : m_held) {
        if (!held.request.empty()) held.gapUs = frame.startUs - held.endUs;
    }
    TellHeld(told);
    Exchange asked;
    asked.outcome = Outcome::kNoReply;
    asked.request = frame.bytes;
    asked.startUs = frame.startUs;
    asked.requestEndUs = asked.endUs = frame.endUs;
    if (At(frame.bytes, 0) == kBroadcastStation) {
        asked.outcome = Outcome::kBroadcast;
        return Hold(asked);
    }
    m_outstanding = asked;
}

void CExchangePairing::Settle(Outcome outcome, const CutFrame* reply) {
    Exchange settled = *m_outstanding;
    m_outstanding.reset();
    settled.outcome = outcome;
    if (reply != nullptr) {
        settled.reply = reply->bytes;
        settled.replyStartUs = reply->startUs;
        settled.endUs = reply->endUs;
    }
    Hold(settled);
}

void CExchangePairing::Hold(Exchange exchange) {
    m_held.push_back(std::move(exchange));
}

void CExchangePairing::Tick(int64_t nowUs, std::vector<Exchange>& told) {
    if (m_outstanding && nowUs - m_outstanding->requestEndUs > m_timeoutUs) Settle(Outcome::kNoReply, nullptr);
    if (!m_outstanding && !m_held.empty() && nowUs - m_held.back().endUs > kQuietTellUs) TellHeld(told);
}

void CExchangePairing::Finish(int64_t nowUs, std::vector<Exchange>& told) {
    if (m_outstanding) {
        const bool timedOut = nowUs - m_outstanding->requestEndUs > m_timeoutUs;
        Settle(timedOut ? Outcome::kNoReply : Outcome::kUnfinished, nullptr);
    }
    TellHeld(told);
}

// In the order they began: noise heard while a request awaited its reply
// comes after that request.
void CExchangePairing::TellHeld(std::vector<Exchange>& told) {
    std::stable_sort(m_held.begin(), m_held.end(),
                     [](const Exchange& a, const Exchange& b) { return a.startUs < b.startUs; });
    for (Exchange& held : m_held) told.push_back(std::move(held));
    m_held.clear();
}

}  // namespace monitor
