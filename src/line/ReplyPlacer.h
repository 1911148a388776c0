#pragma once
// Which bytes answer which request, on every line whose RTU frames carry no
// transaction of their own: a serial port, or a device server reached over
// TCP. One engine holds every rule, and the line it serves holds one engine
// for all its users.
//
// The rules are a record of what is still owed, not a window in time alone:
// - A request that got no reply of its own is owed: its reply may still
//   come until the late-reply limit has passed. Right after it, the line
//   listens for that reply until one more response time-out has passed
//   behind the deadline, or as long as the station was last seen to answer
//   late, and drops whatever came.
// - While a sending of the reply's shape (station, function, length) is
//   owed, this request's or another's, a reply of that shape is taken only
//   behind a line that stayed quiet until this request's own reply would
//   have come, were the reply the oldest owed one, late: the device answers
//   in turn, so its own answer comes as late behind this request, or right
//   behind the late one. Quiet by then, the reply was this request's own,
//   and the station has done with the sendings before it. Two replies are
//   placed as none, unless nothing but this request was owed: then every
//   reply carried what it asked for, and the last answers this sending.
// - Each sending is owed on its own, and replies settle them in turn, the
//   oldest of a shape first: a device answers in the order it was asked.
// - A reply that is a copy, byte for byte, of the last reply placed or
//   heard late, for another request, may be that reply sent twice. It is
//   taken behind a line quiet until the station's own answer would have
//   come behind it, by twice its slowest recent answer (up to the deadline
//   until it has answered). Replies that are no such copy pay nothing,
//   however alike the data of their blocks.
// - After signs of disorder (two replies where one was awaited, a frame
//   heard where nothing was owed, a line that never fell quiet) the next
//   reply is taken only behind a line quiet up to the deadline; a reply
//   awaited while a late one may still come, behind the end-of-frame gap.
// - A reply whole before the request and itself could have crossed the wire
//   since the request began to go out is no answer to it: it is taken only
//   behind a line quiet up to the deadline. A busy machine makes replies
//   seem later, never sooner, so no answer time measured on it is judged.
// - A whole frame that cannot be the reply is passed over, and the line is
//   listened out to the deadline for the device's own answer before any
//   retry goes out.
// - Before each request the silence of the line format is kept behind the
//   last frame, and what waits then is read until the line falls quiet and
//   dropped; a late reply among it settles what was owed.
// - A request that comes back first, byte for byte, is the adapter's local
//   echo: it is dropped before the reply is searched for, and every rule
//   above holds for what follows it. Once a request came back as its echo
//   followed by a reply, the line is known to echo until it is forgotten,
//   its format changes or a reply that differs from its request comes
//   without it, and the whole echo is waited for first; a line set to echo
//   is known to from the start. On such a line a reply that is
//   a copy of its request (functions 5 and 6) is taken only as the second
//   copy.
// - Whole frames that answer nothing asked, seen while nothing is owed,
//   are counted as another master's.
// Requests of other shapes, and a line with nothing owed and in step, pay
// nothing beyond the silence: no guard waits on timing statistics alone,
// and every wait ends at the deadline or where the owed reply would come.
#include <cstdint>
#include <functional>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "line/ByteSource.h"
#include "line/ForeignFrames.h"
#include "line/LineExchange.h"
#include "line/LineTiming.h"
#include "modbus/ReplyShape.h"

namespace line {

// How a complete reply must be followed by a quiet line before it is taken.
enum class FollowCheck : uint8_t {
    kNone,        // the line is in step: at once
    kGap,         // a late reply may yet come: the end-of-frame gap
    kWholeWindow  // the line showed replies it cannot place: up to the deadline
};

struct PlacingRequest {
    std::string request;  // the frame sent
    modbus::ReplyShape reply;
    uint32_t responseTimeoutMs;
    uint32_t lateReplyMaxMs;  // 0: ten response time-outs
    EchoMode echo = EchoMode::kAuto;
};

// Keeps reading while bytes come: the first read waits up to firstWindowMs
// for one, each further one up to silenceMs. A line that never falls quiet
// is given up on after longestMs or a few frames' worth of bytes.
struct QuietRead {
    size_t bytes;  // how many came
    bool quiet;    // false: given up on a line that did not fall quiet, or a read failed
    uint32_t code; // the carrier's code of a failed read
};
QuietRead ReadUntilQuiet(IByteSource& source, std::string& into, uint32_t firstWindowMs, uint32_t silenceMs,
                         uint32_t longestMs);

class CReplyPlacer {
public:
    // Keeps the silence, sends the request with send (false: it could not
    // go out) and collects the reply. On kReplied, reply holds exactly the
    // frame placed as the answer; on kUnplaced and kReadFailed, what came,
    // for the trace; otherwise nothing. A read that fails before the
    // request goes out ends the exchange with kSendFailed.
    ExchangeResult Exchange(IByteSource& source, const LineTiming& timing, const PlacingRequest& request,
                            const std::function<bool()>& send, IExchangeObserver* observer, std::string& reply);
    // A new carrier starts in step, with nothing owed, not known to echo.
    void Forget();
    // A line of another format may not echo as before.
    void ForgetEcho() { m_echoes = false; }

    // The longest a late reply is waited for, in milliseconds.
    static uint32_t LateReplyLimitMs(const PlacingRequest& request);

private:
    struct Owed {
        std::string request;
        modbus::ReplyShape reply;
        int64_t sentAtUs;
        int64_t untilUs;
    };
    // When a request began to go out, when it had gone, and by when its reply
    // is due.
    struct Sending {
        int64_t sendingUs;
        int64_t sentAtUs;
        int64_t deadlineUs;
    };
    struct Collected;

    void ReadReply(IByteSource& source, const LineTiming& timing, const PlacingRequest& request, int64_t deadlineUs,
                   Collected& collected) const;
    bool EchoKnown(const PlacingRequest& request) const;
    void FollowEcho(const PlacingRequest& request, const Collected& collected, IExchangeObserver* observer);
    // Counts the foreign frames among bytes, outside any late reply's window.
    void CountForeign(const std::string& bytes, const modbus::ReplyShape& asked, IByteSource& source,
                      IExchangeObserver* observer);
    uint32_t SettleBeforeRequest(IByteSource& source, const LineTiming& timing, const PlacingRequest& request,
                                 IExchangeObserver* observer);
    ExchangeResult Place(IByteSource& source, const LineTiming& timing, const PlacingRequest& request,
                         const Sending& sending, Collected& collected, std::string& reply);
    void Owe(const PlacingRequest& request, const LineTiming& timing, int64_t sentAtUs, int64_t deadlineUs);
    // Whether a sending of request itself is owed.
    bool Owes(const PlacingRequest& request) const;
    // The oldest sending owed whose reply has that shape, or none.
    const Owed* OldestOwedOfShape(const modbus::ReplyShape& shape) const;
    // Whether a request other than request, of its reply's shape, is owed.
    bool OwesAnotherOfShape(const PlacingRequest& request) const;
    // Settles what owed replies among bytes brought, seen at atUs; whether any did.
    bool SettleLate(const std::string& bytes, int64_t atUs);
    void Settle(size_t index, const std::string& reply, int64_t atUs);
    // A station that answered a request has done with the ones before it.
    void SettleEarlierOf(uint8_t station, int64_t sentAtUs);
    int64_t OwnAnswerDueUs(const PlacingRequest& request, const LineTiming& timing, int64_t wholeAtUs) const;
    int64_t ShiftedAnswerDueUs(const PlacingRequest& request, const LineTiming& timing, const Owed& owed,
                               const Sending& sending, int64_t wholeAtUs) const;
    int64_t SlowestAnswerUs(uint8_t station) const;
    bool HoldsLastReply(const std::string& bytes) const;
    void Placed(const PlacingRequest& request, const std::string& reply, int64_t sentAtUs, int64_t answerUs);

    int64_t m_quietAtUs = 0;         // the line counts as quiet behind the last frame from then
    int64_t m_lateListenUntilUs = 0; // 0: no late reply is listened for before the next request
    FollowCheck m_followCheck = FollowCheck::kNone;
    std::vector<Owed> m_owed;            // oldest first
    std::map<uint8_t, uint32_t> m_lateMs;  // how late each station's replies were seen to come
    // How soon each station answered its last requests, from the request to
    // its reply's first byte as far as the reply's length tells, newest last.
    std::map<uint8_t, std::deque<int64_t>> m_answersUs;
    // The last reply placed or heard late, and the request it answered.
    struct LastReply {
        std::string reply;
        std::string request;
        modbus::ReplyShape shape;
    } m_last{};
    bool m_echoes = false;                 // requests were seen to come back before their replies
    CForeignFrames m_foreign;
    modbus::ReplyShape m_lastAsked{};      // the reply the last request awaited
};

}  // namespace line
