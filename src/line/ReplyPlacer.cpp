#include "line/ReplyPlacer.h"

#include <algorithm>
#include <cstdint>

#include "line/LocalEcho.h"

namespace line {
namespace {

// What an exchange keeps of a line that never falls quiet: a few whole
// frames' worth, the newest.
constexpr size_t kKeptBytes = 4 * 256;
constexpr uint32_t kQuietReadChunk = 64;  // what a read up to the silence asks for
// A read's total time-out is neither 0 (no limit at all) nor the largest
// value, which some systems read as a special case.
constexpr uint32_t kLongestReadMs = 0xFFFFFFFE;
constexpr uint32_t kLateReplyTimeouts = 10;
// How many of a station's answers its slowest recent answer is taken from.
constexpr size_t kAnswersKept = 16;
constexpr uint32_t kLongestLateReplyMs = 60000;

int64_t UsOfMs(uint64_t ms) {
    return static_cast<int64_t>(ms * 1000);
}

// Whole milliseconds until then, rounded up; 0 once it has passed.
uint32_t MsUntil(IByteSource& source, int64_t thenUs) {
    const int64_t left = thenUs - source.NowUs();
    return left <= 0 ? 0 : static_cast<uint32_t>((left + 999) / 1000);
}

const uint8_t* BytesOf(const std::string& text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

uint32_t LongestReply(const modbus::ReplyShape& reply) {
    return std::max(reply.length, reply.exceptionLength);
}

// The response time-out plus the wire time of the longest reply.
uint64_t ReplyWindowMs(const PlacingRequest& request, const LineTiming& timing) {
    return uint64_t{request.responseTimeoutMs} + uint64_t{LongestReply(request.reply)} * timing.characterMs;
}

// Keeps the newest kKeptBytes: what a line that never falls quiet sends
// before the deadline must not grow the buffer without bound.
void KeepNewest(std::string& data) {
    if (data.size() > kKeptBytes) data.erase(0, data.size() - kKeptBytes);
}

// Listens until until for the reply an unanswered request may still get, and
// reads what comes up to the silence behind it: once that reply has come,
// nothing more of it can. Bytes that came while nobody listened are taken
// too. A line still busy at until is not waited for.
QuietRead ListenForLateReply(IByteSource& source, const LineTiming& timing, int64_t until, std::string& late) {
    const uint32_t leftMs = MsUntil(source, until);
    if (leftMs == 0 && !source.BytesWaiting()) return {0, true, 0};
    return ReadUntilQuiet(source, late, std::max(leftMs, 1u), timing.gapMs, std::max(leftMs, timing.gapMs));
}

// After the wait for a late reply: nothing came, so one may come later still;
// it came and the line fell quiet behind it; or the line never fell quiet.
FollowCheck FollowCheckAfter(const QuietRead& late) {
    if (late.bytes == 0) return FollowCheck::kGap;
    return late.quiet ? FollowCheck::kNone : FollowCheck::kWholeWindow;
}

// Where the awaited reply lies whole among bytes from from on.
bool FindWhole(const modbus::ReplyShape& reply, const std::string& bytes, size_t from,
               modbus::ReplyLocation& found) {
    found = modbus::LocateReply(reply, BytesOf(bytes) + from, bytes.size() - from);
    return found.missing == 0 && found.awaited;
}

bool HoldsWhole(const modbus::ReplyShape& reply, const std::string& bytes) {
    modbus::ReplyLocation found;
    return FindWhole(reply, bytes, 0, found);
}

// No reply is whole before the request and the reply have both crossed the
// wire since the request began to go out. Every delay a busy machine adds
// makes a reply seem later, never sooner.
bool WholeTooSoon(const PlacingRequest& request, const LineTiming& timing, int64_t sendingUs, int64_t wholeAtUs,
                  uint32_t replyLength) {
    const auto wiresUs = static_cast<int64_t>((request.request.size() + replyLength) * timing.characterUs);
    return wholeAtUs - sendingUs < wiresUs;
}

}  // namespace

QuietRead ReadUntilQuiet(IByteSource& source, std::string& into, uint32_t firstWindowMs, uint32_t silenceMs,
                         uint32_t longestMs) {
    const int64_t giveUpAt = source.NowUs() + UsOfMs(longestMs);
    const size_t held = into.size();
    for (uint32_t window = firstWindowMs; MsUntil(source, giveUpAt) > 0 && into.size() - held < kKeptBytes;
         window = silenceMs) {
        uint32_t got = 0;
        if (uint32_t code = source.Read(into, kQuietReadChunk, silenceMs, window, got)) {
            return {into.size() - held, false, code};
        }
        if (got == 0 && !source.BytesWaiting()) return {into.size() - held, true, 0};
    }
    return {into.size() - held, false, 0};
}

struct CReplyPlacer::Collected {
    enum class End { kWhole, kNoReply, kOverdue, kReadFailed };
    End end;
    modbus::ReplyLocation frame{};  // of kWhole, in data
    std::string data;               // from the awaited frame's search on
    std::string passedOver;         // whole frames that could not be the reply, as they came
    uint32_t code = 0;
    bool echoStripped = false;      // the request's echo came first and was dropped
};

uint32_t CReplyPlacer::LateReplyLimitMs(const PlacingRequest& request) {
    if (request.lateReplyMaxMs > 0) return std::min(request.lateReplyMaxMs, kLongestLateReplyMs);
    return static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t{request.responseTimeoutMs} * kLateReplyTimeouts, kLongestLateReplyMs));
}

void CReplyPlacer::Forget() {
    m_quietAtUs = 0;
    m_lateListenUntilUs = 0;
    m_followCheck = FollowCheck::kNone;
    m_owed.clear();
    m_lateMs.clear();
    m_answersUs.clear();
    m_last = {};
    m_echoes = false;
    m_foreign.Forget();
}

// Each read asks for what the reply still needs at least, and may wait the
// response time-out for it, or what is left of the deadline. While the
// reply is not whole its shape says more is coming, so no pause ends it:
// adapters hand the bytes of one reply over in bursts, with pauses longer
// than the end-of-frame silence. A whole frame that cannot be the reply is
// passed over and the search goes on behind it; so it does behind the
// request's echo. The deadline bounds it all, also on a line that never
// falls quiet.
void CReplyPlacer::ReadReply(IByteSource& source, const LineTiming& timing, const PlacingRequest& request,
                             int64_t deadlineUs, Collected& c) const {
    using End = Collected::End;
    const bool echoKnown = EchoKnown(request);
    for (bool first = true;; first = false) {
        const modbus::ReplyLocation found = modbus::LocateReply(request.reply, BytesOf(c.data), c.data.size());
        const bool echoAhead = request.echo != EchoMode::kOff && !c.echoStripped;
        const EchoStep echo = echoAhead ? EchoStepFor(request.request, echoKnown, c.data, found) : EchoStep::kNone;
        uint32_t wanted = found.missing;
        if (echo == EchoStep::kStrip) {
            c.data.erase(0, request.request.size());
            c.echoStripped = true;
            continue;
        }
        if (echo == EchoStep::kWaitForRest) {
            wanted = static_cast<uint32_t>(request.request.size() - c.data.size());
        } else if (found.missing == 0 && found.awaited) {
            c.end = End::kWhole;
            c.frame = found;
            return;
        } else if (found.missing == 0) {
            c.passedOver.append(c.data, 0, found.at + found.length);
            KeepNewest(c.passedOver);
            c.data.erase(0, found.at + found.length);
            continue;
        }
        const uint32_t leftMs = MsUntil(source, deadlineUs);
        if (leftMs == 0) {
            c.end = End::kOverdue;
            return;
        }
        const uint32_t totalMs = std::clamp<uint32_t>(request.responseTimeoutMs, 1, leftMs);
        uint32_t got = 0;
        if ((c.code = source.Read(c.data, wanted, timing.gapMs, totalMs, got)) != 0) {
            c.end = End::kReadFailed;
            return;
        }
        KeepNewest(c.data);
        if (first && got == 0 && !source.BytesWaiting()) {
            c.end = End::kNoReply;
            return;
        }
    }
}

bool CReplyPlacer::EchoKnown(const PlacingRequest& request) const {
    return request.echo == EchoMode::kOn || (request.echo == EchoMode::kAuto && m_echoes);
}

// A request that came back as its echo, followed by a reply, shows the line
// echoes: told once. Set to auto, a good reply that differs from its
// request and came without the echo shows the line no longer does, as after
// the adapter was changed: else every write answered with a copy of itself
// would wait for a second copy that never comes. A broken one may be an
// echo the line corrupted.
void CReplyPlacer::FollowEcho(const PlacingRequest& request, const Collected& collected,
                              IExchangeObserver* observer) {
    if (collected.end != Collected::End::kWhole || request.request.empty()) return;
    if (!collected.echoStripped) {
        const bool good = modbus::IsWholeFrame(BytesOf(collected.data) + collected.frame.at, collected.frame.length);
        if (request.echo == EchoMode::kAuto && good && !RepliedWithCopy(request.request)) m_echoes = false;
        return;
    }
    if (m_echoes) return;
    m_echoes = true;
    if (observer != nullptr) observer->OnEchoFound();
}

void CReplyPlacer::CountForeign(const std::string& bytes, const modbus::ReplyShape& asked, IByteSource& source,
                                IExchangeObserver* observer) {
    if (bytes.empty() || !m_owed.empty()) return;
    const uint32_t told = m_foreign.Count(bytes, asked, source.NowUs());
    if (told > 0 && observer != nullptr) observer->OnForeignFrames(told);
}

ExchangeResult CReplyPlacer::Exchange(IByteSource& source, const LineTiming& timing, const PlacingRequest& request,
                                      const std::function<bool()>& send, IExchangeObserver* observer,
                                      std::string& reply) {
    const int64_t startUs = source.NowUs();
    m_owed.erase(std::remove_if(m_owed.begin(), m_owed.end(), [&](const Owed& owed) { return owed.untilUs <= startUs; }),
                 m_owed.end());
    const bool settled = SettleBeforeRequest(source, timing, request, observer) == 0;
    const int64_t sendingUs = source.NowUs();
    if (!settled || !send()) {
        reply.clear();
        return ExchangeResult::kSendFailed;
    }
    const int64_t sentAtUs = source.NowUs();
    const int64_t deadlineUs = sentAtUs + UsOfMs(std::min<uint64_t>(ReplyWindowMs(request, timing), kLongestReadMs));
    Collected collected{Collected::End::kNoReply, {}, {}, {}, 0};
    ReadReply(source, timing, request, deadlineUs, collected);
    FollowEcho(request, collected, observer);
    CountForeign(collected.passedOver, request.reply, source, observer);
    m_lastAsked = request.reply;
    if (collected.end == Collected::End::kWhole) {
        return Place(source, timing, request, {sendingUs, sentAtUs, deadlineUs}, collected, reply);
    }
    SettleLate(collected.passedOver, source.NowUs());
    Owe(request, timing, sentAtUs, deadlineUs);
    const bool endedOnFrame = !collected.passedOver.empty();
    m_quietAtUs = source.NowUs() + (endedOnFrame ? static_cast<int64_t>(timing.quietUs) : 0);
    reply = collected.passedOver + collected.data;
    if (collected.end == Collected::End::kReadFailed) return ExchangeResult::kReadFailed;
    return reply.empty() ? ExchangeResult::kNoReply : ExchangeResult::kUnplaced;
}

// An unanswered request's reply is waited out first. Then the line must have
// been quiet for the silence since the last frame: what still arrives then,
// noise behind that frame or a reply later than its wait, is read until the
// line falls quiet, for at most a longest reply's wire time, and dropped. A
// carrier that drops what waits when a request goes out is looked at only
// after such a wait, or while a reply is owed: on a healthy line the silence
// costs nothing but the look.
uint32_t CReplyPlacer::SettleBeforeRequest(IByteSource& source, const LineTiming& timing,
                                           const PlacingRequest& request, IExchangeObserver* observer) {
    if (m_lateListenUntilUs != 0) {
        std::string late;
        const QuietRead heard = ListenForLateReply(source, timing, m_lateListenUntilUs, late);
        m_lateListenUntilUs = 0;
        m_followCheck = FollowCheckAfter(heard);
        if (!late.empty()) {
            if (!SettleLate(late, source.NowUs())) m_followCheck = FollowCheck::kWholeWindow;
            if (observer != nullptr) observer->OnLateDiscarded(late);
        }
        if (heard.code != 0) return heard.code;
    }
    const bool waited = source.NowUs() < m_quietAtUs;
    if (waited) source.WaitUntilUs(m_quietAtUs);
    const bool look = waited || !m_owed.empty() || !source.DropsWaitingOnSend();
    if (!look || !source.BytesWaiting()) return 0;
    std::string discarded;
    const uint32_t frameMs = LongestReply(request.reply) * timing.characterMs + timing.gapMs;
    const QuietRead noise = ReadUntilQuiet(source, discarded, timing.quietMs, timing.quietMs, frameMs);
    if (!noise.quiet) m_followCheck = FollowCheck::kWholeWindow;
    const bool late = SettleLate(discarded, source.NowUs());
    if (!late && HoldsLastReply(discarded)) m_followCheck = FollowCheck::kWholeWindow;
    if (observer != nullptr && !discarded.empty()) {
        if (late) {
            observer->OnLateDiscarded(discarded);
        } else {
            observer->OnWaitingDiscarded(discarded);
            CountForeign(discarded, m_lastAsked, source, observer);
        }
    }
    return noise.code;
}

// A reply complete while the line is in step is taken at once. Otherwise the
// exchange reads on behind it for as long as the evidence asks, and anything
// that comes makes it a reply the line cannot place: noise, or the answer of
// which this reply may be the late predecessor. The first of two replies
// settles what was owed of its shape; the request itself is owed unless its
// own reply came behind, which is then taken where nothing but this request
// was owed: every reply of its shape carried what it asked for.
ExchangeResult CReplyPlacer::Place(IByteSource& source, const LineTiming& timing, const PlacingRequest& request,
                                   const Sending& sending, Collected& collected, std::string& reply) {
    const modbus::ReplyLocation& frame = collected.frame;
    const int64_t wholeAtUs = source.NowUs();
    const std::string placed = collected.data.substr(frame.at, frame.length);
    const int64_t answerUs = wholeAtUs - sending.sentAtUs - static_cast<int64_t>(frame.length * timing.characterUs);
    SettleLate(collected.passedOver, wholeAtUs);
    const Owed* owed = OldestOwedOfShape(request.reply);
    const bool copy = placed == m_last.reply && request.request != m_last.request;
    const bool disorder =
        !collected.passedOver.empty() || WholeTooSoon(request, timing, sending.sendingUs, wholeAtUs, frame.length);
    if (m_followCheck == FollowCheck::kNone && owed == nullptr && !disorder && !copy) {
        reply = placed;
        Placed(request, placed, sending.sentAtUs, answerUs);
        m_quietAtUs = wholeAtUs + static_cast<int64_t>(timing.quietUs);
        return ExchangeResult::kReplied;
    }
    const uint32_t leftMs = MsUntil(source, sending.deadlineUs);
    uint32_t windowMs = m_followCheck == FollowCheck::kGap ? timing.gapMs : timing.quietMs;
    if (m_followCheck == FollowCheck::kWholeWindow || disorder) windowMs = std::max(leftMs, timing.gapMs);
    if (copy) {
        windowMs = std::max(windowMs, std::min(leftMs, MsUntil(source, OwnAnswerDueUs(request, timing, wholeAtUs))));
    }
    if (owed != nullptr) {
        windowMs = std::max(windowMs, MsUntil(source, ShiftedAnswerDueUs(request, timing, *owed, sending, wholeAtUs)));
    }
    const bool onlyThisRequestOwed = owed != nullptr && !OwesAnotherOfShape(request);
    std::string behind = collected.data.substr(frame.at + frame.length);
    const QuietRead after = ReadUntilQuiet(source, behind, windowMs, timing.gapMs, std::max(windowMs, leftMs));
    m_quietAtUs = 0;
    if (behind.empty() && after.quiet) {
        m_followCheck = FollowCheck::kNone;
        reply = placed;
        Placed(request, placed, sending.sentAtUs, answerUs);
        return ExchangeResult::kReplied;
    }
    m_followCheck = FollowCheck::kWholeWindow;
    // The replies answer the sendings still owed in turn, this one last.
    const int64_t listenBefore = m_lateListenUntilUs;
    Owe(request, timing, sending.sentAtUs, sending.deadlineUs);
    SettleLate(placed + behind, wholeAtUs);
    if (!Owes(request)) {
        m_lateListenUntilUs = listenBefore;
        if (onlyThisRequestOwed && after.quiet) {
            reply = m_last.reply;
            Placed(request, reply, sending.sentAtUs, -1);
            return ExchangeResult::kReplied;
        }
    }
    reply = collected.passedOver + collected.data.substr(0, frame.at + frame.length) + behind;
    KeepNewest(reply);
    return after.code != 0 ? ExchangeResult::kReadFailed : ExchangeResult::kUnplaced;
}

// By when the device's own answer has begun behind a copy of the last
// reply whole at wholeAtUs: a device answers in turn, so behind the copy by
// its slowest recent answer at the latest. Until the station has answered,
// the deadline.
int64_t CReplyPlacer::OwnAnswerDueUs(const PlacingRequest& request, const LineTiming& timing,
                                     int64_t wholeAtUs) const {
    const int64_t slowestUs = SlowestAnswerUs(request.reply.station);
    if (slowestUs < 0) return INT64_MAX;
    return wholeAtUs + slowestUs + UsOfMs(timing.gapMs);
}

// Were the reply whole at wholeAtUs the late answer to the oldest sending
// owed of its shape, the device answers in turn: its answer to this sending
// comes as late behind this sending, or once the device has answered behind
// the late one. Quiet by then, it was this sending's own.
int64_t CReplyPlacer::ShiftedAnswerDueUs(const PlacingRequest& request, const LineTiming& timing, const Owed& owed,
                                         const Sending& sending, int64_t wholeAtUs) const {
    const int64_t lateUs = wholeAtUs - owed.sentAtUs;
    const int64_t behindUs = wholeAtUs + std::max<int64_t>(SlowestAnswerUs(request.reply.station), 0);
    const int64_t dueUs = std::max(sending.sentAtUs + lateUs, behindUs) + UsOfMs(timing.gapMs);
    return std::min(dueUs, sending.sentAtUs + UsOfMs(LateReplyLimitMs(request)));
}

// -1 until the station has answered.
int64_t CReplyPlacer::SlowestAnswerUs(uint8_t station) const {
    const auto answers = m_answersUs.find(station);
    if (answers == m_answersUs.end() || answers->second.empty()) return -1;
    return *std::max_element(answers->second.begin(), answers->second.end());
}

// A placed reply proves how soon its station can answer, and that the
// station has done with its earlier requests.
void CReplyPlacer::Placed(const PlacingRequest& request, const std::string& reply, int64_t sentAtUs,
                          int64_t answerUs) {
    const uint8_t station = request.reply.station;
    if (answerUs >= 0) {
        std::deque<int64_t>& answers = m_answersUs[station];
        answers.push_back(answerUs);
        if (answers.size() > kAnswersKept) answers.pop_front();
    }
    SettleEarlierOf(station, sentAtUs);
    m_last = {reply, request.request, request.reply};
}

// The line listens for the reply before the next request, and a reply of
// its shape is taken only behind a quiet line until the late-reply limit.
// Each sending is owed on its own: each may still bring a reply.
void CReplyPlacer::Owe(const PlacingRequest& request, const LineTiming& timing, int64_t sentAtUs,
                       int64_t deadlineUs) {
    const int64_t untilUs = std::max(sentAtUs + UsOfMs(LateReplyLimitMs(request)), deadlineUs);
    m_owed.push_back({request.request, request.reply, sentAtUs, untilUs});
    const auto late = m_lateMs.find(request.reply.station);
    const uint32_t seenLateMs = late == m_lateMs.end() ? 0 : late->second + timing.gapMs;
    const int64_t listenUs = std::max(deadlineUs + UsOfMs(request.responseTimeoutMs), sentAtUs + UsOfMs(seenLateMs));
    m_lateListenUntilUs = std::max<int64_t>(std::min(listenUs, untilUs), 1);
}

bool CReplyPlacer::Owes(const PlacingRequest& request) const {
    return std::any_of(m_owed.begin(), m_owed.end(), [&](const Owed& owed) { return owed.request == request.request; });
}

const CReplyPlacer::Owed* CReplyPlacer::OldestOwedOfShape(const modbus::ReplyShape& shape) const {
    const auto oldest = std::find_if(m_owed.begin(), m_owed.end(),
                                     [&](const Owed& owed) { return modbus::SameShape(owed.reply, shape); });
    return oldest == m_owed.end() ? nullptr : &*oldest;
}

bool CReplyPlacer::OwesAnotherOfShape(const PlacingRequest& request) const {
    return std::any_of(m_owed.begin(), m_owed.end(), [&](const Owed& owed) {
        return modbus::SameShape(owed.reply, request.reply) && owed.request != request.request;
    });
}

// A device answers in turn: each reply among bytes settles the oldest
// sending owed of its shape, and the bytes before it are done with.
bool CReplyPlacer::SettleLate(const std::string& bytes, int64_t atUs) {
    bool settled = false;
    size_t from = 0;
    for (size_t i = 0; i < m_owed.size();) {
        modbus::ReplyLocation found;
        if (FindWhole(m_owed[i].reply, bytes, from, found)) {
            Settle(i, bytes.substr(from + found.at, found.length), atUs);
            from += found.at + found.length;
            settled = true;
        } else {
            ++i;
        }
    }
    return settled;
}

// How late the reply came is how late its station answers: the wait for a
// reply of that station follows it from now on. The late reply is the last
// reply of the line, whose copy may still come as a copy of a placed one may.
void CReplyPlacer::Settle(size_t index, const std::string& reply, int64_t atUs) {
    const Owed& owed = m_owed[index];
    m_last = {reply, owed.request, owed.reply};
    const int64_t lateUs = std::max<int64_t>(atUs - owed.sentAtUs, 0);
    const auto lateMs = static_cast<uint32_t>(std::min<int64_t>(lateUs / 1000, kLongestLateReplyMs));
    uint32_t& seen = m_lateMs[owed.reply.station];
    seen = std::max(seen, lateMs);
    m_owed.erase(m_owed.begin() + static_cast<std::ptrdiff_t>(index));
}

// A reply of the last reply's station and shape where none was awaited is a
// copy of it, or the answer the last exchange did not get because it took a
// copy.
bool CReplyPlacer::HoldsLastReply(const std::string& bytes) const {
    return !m_last.reply.empty() && HoldsWhole(m_last.shape, bytes);
}

void CReplyPlacer::SettleEarlierOf(uint8_t station, int64_t sentAtUs) {
    m_owed.erase(std::remove_if(m_owed.begin(), m_owed.end(),
                                [&](const Owed& owed) {
                                    return owed.reply.station == station && owed.sentAtUs < sentAtUs;
                                }),
                 m_owed.end());
}

}  // namespace line
