// The exchange Read and Write use. The reply ends the moment it is complete,
// when nothing comes at all by the response time-out, or at the exchange's
// deadline. The port's read time-outs time it all: no pause is spent waiting
// for bytes that have already arrived.
#include <algorithm>

#include "serial/LineClock.h"
#include "serial/PortLoss.h"
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"
#include "serial/TimedReads.h"

namespace {

// An RTU character: start bit, 8 data bits, parity or a second stop bit,
// stop bit.
constexpr uint64_t kBitsPerCharacter = 11;
constexpr uint64_t kSilenceTenthsOfCharacters = 35;
// Above 19200 baud the silence before a request is fixed: 3.5 characters
// would be shorter than many devices can tell apart from a pause inside a
// frame.
constexpr uint32_t kFixedSilenceAboveBaud = 19200;
constexpr uint64_t kFixedSilenceUs = 1750;
// A reply ends on a gap of at least 10 ms: on a busy system the bytes of one
// frame reach the port in bursts with gaps of several milliseconds, and a
// shorter gap would cut such frames short.
constexpr uint32_t kShortestGapMs = 10;
constexpr int32_t kAssumedBaud = 9600;  // for a port that cannot tell its rate
// A read's total time-out is neither 0 (no limit at all) nor MAXDWORD, which
// some systems read as a special case.
constexpr uint32_t kLongestReadMs = MAXDWORD - 1;
constexpr uint32_t kQuietReadChunk = 64;  // what a read up to the silence asks for
// What an exchange keeps of a line that never falls quiet: a few whole
// frames' worth, the newest.
constexpr size_t kKeptBytes = 4 * 256;

struct LineTiming {
    uint64_t quietUs;      // the silence due before a request
    uint32_t quietMs;      // the same, rounded up, for reads that wait it out
    uint32_t gapMs;        // the silence that ends a reply
    uint32_t characterMs;  // one character, rounded up
};

uint32_t CeilDivide(uint64_t numerator, uint64_t denominator) {
    return static_cast<uint32_t>((numerator + denominator - 1) / denominator);
}

// 3.5 characters of the line's own format, or the fixed silence above
// 19200 baud, unless the line's settings name a silence of their own.
uint64_t SilenceUs(const serial::LineFormat& format, uint64_t rate, uint32_t settingUs) {
    if (settingUs > 0) return settingUs;
    const uint64_t characters = CeilDivide(kSilenceTenthsOfCharacters * serial::CharacterBits(format) * 1000000, 10 * rate);
    return rate > kFixedSilenceAboveBaud ? std::max(characters, kFixedSilenceUs) : characters;
}

LineTiming TimingOf(const serial::LineFormat& format, uint32_t silenceSettingUs) {
    const uint64_t rate = format.baud > 0 ? format.baud : kAssumedBaud;
    const uint32_t silenceMs = CeilDivide(kSilenceTenthsOfCharacters * kBitsPerCharacter * 1000, 10 * rate);
    const uint64_t quietUs = SilenceUs(format, rate, silenceSettingUs);
    return {quietUs, std::max(CeilDivide(quietUs, 1000), 1u), std::max(silenceMs, kShortestGapMs),
            CeilDivide(kBitsPerCharacter * 1000, rate)};
}

using serial::FollowCheck;

enum class ReplyEnd {
    kComplete,          // the reply is whole
    kNotTheReply,       // a whole frame came that cannot be the reply
    kCompleteAndQuiet,  // whole, and the line stayed quiet behind it as long as it had to
    kUnplaced,          // whole, but more came behind it, or the line never fell quiet
    kOverdue,           // the deadline passed before the reply was whole
    kNoReply,
    kReadFailed,
};

// Keeps reading while bytes come, into into: the first read waits up to
// firstWindowMs for one, each further one up to silenceMs. A line that never
// falls quiet is given up on after longestMs or kKeptBytes. Returns how many
// bytes came.
struct Listened {
    size_t bytes;
    bool quiet;  // false: given up on a line that did not fall quiet
};

Listened ReadUntilQuiet(CTimedReads& reads, std::string& into, uint32_t firstWindowMs, uint32_t silenceMs,
                        uint32_t longestMs) {
    const CLineClock clock;
    const int64_t giveUpAt = clock.Later(longestMs);
    const size_t held = into.size();
    for (uint32_t window = firstWindowMs; clock.MsUntil(giveUpAt) > 0 && into.size() - held < kKeptBytes;
         window = silenceMs) {
        uint32_t got = 0;
        if (reads.Read(into, kQuietReadChunk, silenceMs, window, got) != 0) break;
        if (got == 0 && !reads.BytesWaiting()) return {into.size() - held, true};
    }
    return {into.size() - held, false};
}

// Gives the processor away while it waits: the silence is a lower bound, so
// being handed it back late costs time, never correctness.
void WaitUntil(const CLineClock& clock, int64_t then) {
    while (clock.Now() < then) SwitchToThread();
}

// Keeps the newest kKeptBytes: what a line that never falls quiet sends
// before the deadline must not grow the buffer without bound.
void KeepNewest(std::string& data) {
    if (data.size() > kKeptBytes) data.erase(0, data.size() - kKeptBytes);
}

// Each read asks for what the reply still needs at least, and may wait the
// response time-out for it, or what is left of the deadline: reads in a row
// then want the same time-outs of the port. While the reply is not whole
// its shape says more is coming, so no pause ends it: adapters hand the bytes
// of one reply over in bursts, with pauses longer than the end-of-frame
// silence. The deadline bounds it all, also on a line that never falls quiet.
ReplyEnd ReadReply(CTimedReads& reads, const LineTiming& timing, uint32_t responseTimeoutMs, int64_t deadline,
                   const CSerialLine::ReplyNeed& need, std::string& data) {
    const CLineClock clock;
    for (bool first = true;; first = false) {
        const uint32_t missing = need(data);
        if (missing == 0) return ReplyEnd::kComplete;
        if (missing == CSerialLine::kNotTheReply) return ReplyEnd::kNotTheReply;
        const uint32_t leftMs = clock.MsUntil(deadline);
        if (leftMs == 0) return ReplyEnd::kOverdue;
        const uint32_t totalMs = std::clamp<uint32_t>(responseTimeoutMs, 1, leftMs);
        uint32_t got = 0;
        if (reads.Read(data, missing, timing.gapMs, totalMs, got) != 0) return ReplyEnd::kReadFailed;
        KeepNewest(data);
        if (first && got == 0 && !reads.BytesWaiting()) return ReplyEnd::kNoReply;
    }
}

// The response time-out plus the wire time of the longest reply, from the
// end of the request.
int64_t DeadlineOf(const CLineClock& clock, const LineTiming& timing, uint32_t responseTimeoutMs,
                   uint32_t longestReply) {
    const uint64_t ms = uint64_t{responseTimeoutMs} + uint64_t{longestReply} * timing.characterMs;
    return clock.Later(static_cast<uint32_t>(std::min<uint64_t>(ms, kLongestReadMs)));
}

// A reply complete while one to an earlier request might still come is taken
// only once the line fell quiet behind it: the exchange reads on to the
// silence, and anything that came meanwhile makes the reply one the line
// cannot place, whatever it was: noise, or the answer of which this reply may
// be the late predecessor. Where the line showed replies it cannot place, and
// behind a frame that cannot be the reply, it listens up to the deadline: a
// device answering slower than the end-of-frame gap would otherwise leave its
// answer for the next request. What followed decides how the next reply must
// be followed.
ReplyEnd CollectReply(CTimedReads& reads, const LineTiming& timing, uint32_t responseTimeoutMs, int64_t deadline,
                      const CSerialLine::ReplyNeed& need, FollowCheck& followCheck, std::string& data) {
    const ReplyEnd end = ReadReply(reads, timing, responseTimeoutMs, deadline, need, data);
    const bool whole = end == ReplyEnd::kComplete || end == ReplyEnd::kNotTheReply;
    if (!whole || followCheck == FollowCheck::kNone) return end;
    const bool toDeadline = followCheck == FollowCheck::kWholeWindow || end == ReplyEnd::kNotTheReply;
    const uint32_t leftMs = CLineClock().MsUntil(deadline);
    const uint32_t windowMs = toDeadline ? std::max(leftMs, timing.gapMs) : timing.gapMs;
    const Listened after = ReadUntilQuiet(reads, data, windowMs, timing.gapMs, std::max(windowMs, leftMs));
    const bool placed = after.bytes == 0 && after.quiet;
    followCheck = placed ? FollowCheck::kNone : FollowCheck::kWholeWindow;
    return placed ? ReplyEnd::kCompleteAndQuiet : ReplyEnd::kUnplaced;
}

// After the wait for a late reply: nothing came, so one may come later still;
// it came and the line fell quiet behind it; or the line never fell quiet.
FollowCheck FollowCheckAfter(const Listened& late) {
    if (late.bytes == 0) return FollowCheck::kGap;
    return late.quiet ? FollowCheck::kNone : FollowCheck::kWholeWindow;
}

// Listens until until for the reply an unanswered request may still get, and
// reads what comes up to the silence behind it: once that reply has come,
// nothing more of it can. Bytes that came while nobody listened are taken
// too, into late, for the caller to drop. A line still busy at until is not
// waited for: the next reply is then taken only behind a quiet line.
Listened ListenForLateReply(CTimedReads& reads, const CLineClock& clock, const LineTiming& timing, int64_t until,
                            std::string& late) {
    const uint32_t leftMs = clock.MsUntil(until);
    if (leftMs == 0 && !reads.BytesWaiting()) return {0, true};
    return ReadUntilQuiet(reads, late, std::max(leftMs, 1u), timing.gapMs, std::max(leftMs, timing.gapMs));
}

}  // namespace

// An unanswered request's reply is waited out first. Then the line must have
// been quiet for the silence since the last frame: what still arrives then,
// noise behind that frame or a reply later than its wait, is read until the
// line falls quiet, for at most a longest reply's wire time, and dropped, and
// the purge of the send drops the rest; a line that did not fall quiet has
// its next reply taken only behind a quiet line. On a healthy line nothing
// comes, and the wait costs no call on the port but the look at its queue.
ExchangeResult CSerialLine::FramedOnOpenPort(std::string& data, int32_t& length, const LineUse& use,
                                             const ReplyNeed& need, uint32_t longestReply,
                                             IExchangeObserver* observer) {
    CTimedReads reads(*m_port, m_timeouts);
    const CLineClock clock;
    const LineTiming timing = TimingOf(m_format, use.silenceUs);
    if (m_lateReplyUntil != 0) {
        std::string late;
        m_followCheck = FollowCheckAfter(
            ListenForLateReply(reads, clock, timing, m_lateReplyUntil, late));
        m_lateReplyUntil = 0;
        if (!late.empty() && observer != nullptr) observer->OnLateDiscarded(late);
    }
    if (clock.Now() < m_lineQuietAt) {
        WaitUntil(clock, m_lineQuietAt);
        if (m_port->QueuedBytes() > 0) {
            std::string discarded;
            const uint32_t frameMs = longestReply * timing.characterMs + timing.gapMs;
            const Listened noise = ReadUntilQuiet(reads, discarded, timing.quietMs, timing.quietMs, frameMs);
            if (!noise.quiet) m_followCheck = FollowCheck::kWholeWindow;
        }
    }
    if (use.requestGapMs > 0) Sleep(use.requestGapMs);
    if (SendRequest(data, length, use, kWriteTimeoutMs, observer) != ExchangeResult::kReplied) {
        return ExchangeResult::kSendFailed;
    }

    data.clear();
    const int64_t deadline = DeadlineOf(clock, timing, use.responseTimeout, longestReply);
    const ReplyEnd end = CollectReply(reads, timing, use.responseTimeout, deadline, need, m_followCheck, data);
    if (end == ReplyEnd::kNoReply || end == ReplyEnd::kOverdue) {
        m_lateReplyUntil = std::max<int64_t>(deadline + clock.TicksOfMicroseconds(uint64_t{use.responseTimeout} * 1000), 1);
    }
    const bool endedOnFrame = end == ReplyEnd::kComplete || end == ReplyEnd::kNotTheReply;
    m_lineQuietAt = clock.Now() + (endedOnFrame ? clock.TicksOfMicroseconds(timing.quietUs) : 0);
    length = static_cast<int32_t>(data.size());
    if (end == ReplyEnd::kNoReply) return Emptied(data, length, ExchangeResult::kNoReply);
    if (end == ReplyEnd::kUnplaced) return ExchangeResult::kUnplaced;
    return end == ReplyEnd::kReadFailed ? ExchangeResult::kReadFailed : ExchangeResult::kReplied;
}

// A port that answered is not gone, whatever a call on the way reported; an
// exchange that got nothing because the port failed as a device that is gone
// does is no silence of the station.
ExchangeResult CSerialLine::ExchangeFramed(std::string& data, int32_t& length, const LineUse& use,
                                           const ReplyNeed& need, uint32_t longestReply,
                                           IExchangeObserver* observer) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    if (!m_port->IsOpen()) return Emptied(data, length, ExchangeResult::kSendFailed);
    m_port->TakeFailure();
    const ExchangeResult result = FramedOnOpenPort(data, length, use, need, longestReply, observer);
    const uint32_t failure = m_port->TakeFailure();
    const bool bytesCame = result == ExchangeResult::kReplied || result == ExchangeResult::kUnplaced;
    if (bytesCame || !serial::IsPortLoss(failure)) return result;
    LosePort(failure, use, observer);
    return Emptied(data, length, ExchangeResult::kPortLost);
}
