#include "ChaosSchedule.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

using Step = ChaosSchedule::Step;

// A kind named "... of the station" bends that station's answers; the others
// bend whatever reply crosses the line next.
struct ChaosSchedule::Kind {
    const char* name;
    // Draws the step's figures: a in aMin..aMax, b in bMin..bMax.
    uint32_t aMin, aMax, bMin, bMax;
    bool bPastTimeout;  // b is a delay past the response time-out
    bool oneShot;       // bends the next reply only: applied again and again
    void (*start)(LineFixture&, const Step&);
    void (*stop)(LineFixture&, const Step&);
    // The driver objects pause a + b ms between their cycles meanwhile.
    bool hostPauses = false;
};

namespace {

constexpr uint32_t kStepMinMs = 600;
constexpr uint32_t kStepMaxMs = 2400;
constexpr uint32_t kGapMaxMs = 800;
// How often values change, and a one-shot fault comes again.
constexpr uint32_t kPassMinMs = 100;
constexpr uint32_t kPassMaxMs = 500;
// A driver object's tags start at 0 or 1000; a refused range lies over one
// of the blocks of either.
constexpr uint16_t kRefusedRanges[][2] = {{0, 1}, {2, 5}, {100, 101}, {200, 203}, {1000, 1001}, {1002, 1005},
                                          {1100, 1101}, {1200, 1203}};

// A far late reply stays within the default late-reply limit of ten response
// time-outs, counted from the request. It comes once a step: the replies the
// device queues behind it come late too, and a second one behind them would
// come later than the limit.
constexpr uint32_t kFarLateMaxMs = 2400;

void Nothing(LineFixture&, const Step&) {}

const ChaosSchedule::Kind kKinds[] = {
    {"late replies: every a-th reply b ms past the response time-out", 2, 5, 10, 80, true, false,
     [](LineFixture& l, const Step& s) { l.DelayEveryNthReply(s.a, s.b); },
     [](LineFixture& l, const Step&) { l.DelayEveryNthReply(0, 0); }},
    {"one late reply, b ms past the response time-out", 0, 0, 10, 80, true, true,
     [](LineFixture& l, const Step& s) { l.DelayNextReply(s.b); }, Nothing},
    {"one far late reply, b ms past the response time-out", 0, 0, 200, kFarLateMaxMs, true, false,
     [](LineFixture& l, const Step& s) { l.DelayNextReply(s.b); }, Nothing},
    {"replies in bursts of a bytes, b ms apart", 2, 8, 2, 20, false, false,
     [](LineFixture& l, const Step& s) { l.ReplyInBursts(s.a, s.b); },
     [](LineFixture& l, const Step&) { l.ReplyInBursts(0, 0); }},
    {"exception 02 for range a of the station", 0, std::size(kRefusedRanges) - 1, 0, 0, false, false,
     [](LineFixture& l, const Step& s) { l.RefuseRequests(s.station, 2, 0, kRefusedRanges[s.a][0], kRefusedRanges[s.a][1]); },
     [](LineFixture& l, const Step& s) { l.AcceptRequests(s.station); }},
    {"exception 02 for every request of the station", 0, 0, 0, 0, false, false,
     [](LineFixture& l, const Step& s) { l.RefuseRequests(s.station, 2, 0); },
     [](LineFixture& l, const Step& s) { l.AcceptRequests(s.station); }},
    {"exception 04 (a 0) or 06 (a 1) for every request of the station", 0, 1, 0, 0, false, false,
     [](LineFixture& l, const Step& s) { l.RefuseRequests(s.station, s.a == 0 ? 4 : 6, 0); },
     [](LineFixture& l, const Step& s) { l.AcceptRequests(s.station); }},
    {"exception 04 (a 0) or 06 (a 1) for the next request of the station", 0, 1, 0, 0, false, true,
     [](LineFixture& l, const Step& s) { l.RefuseNextRequest(s.station, s.a == 0 ? 4 : 6); }, Nothing},
    {"silence: a replies in a row dropped", 1, 4, 0, 0, false, true,
     [](LineFixture& l, const Step& s) {
         l.RepeatNextFault(s.a);
         l.DropNextReply();
     },
     Nothing},
    {"all requests of the station unanswered: switched off", 0, 0, 0, 0, false, false, [](LineFixture& l, const Step& s) { l.SwitchStation(s.station, false); },
     [](LineFixture& l, const Step& s) { l.SwitchStation(s.station, true); }},
    {"corrupted replies: every a-th, and the next at byte b", 2, 6, 0, 8, false, true,
     [](LineFixture& l, const Step& s) {
         l.CorruptEveryNthReply(s.a);
         l.CorruptNextReply(s.b);
     },
     [](LineFixture& l, const Step&) { l.CorruptEveryNthReply(0); }},
    {"babble", 0, 0, 0, 0, false, false, [](LineFixture& l, const Step&) { l.Babble(true); },
     [](LineFixture& l, const Step&) { l.Babble(false); }},
    {"two replies for one request", 0, 0, 0, 0, false, true, [](LineFixture& l, const Step&) { l.SendNextReplyTwice(); },
     Nothing},
};

// A device that sends its reply again after a pause: up to the time its
// answer to the next request would start, on a line polled back to back.
// Behind a gateway the copy would be taken on its serial side, out of the
// driver's sight, as an echo would.
constexpr uint32_t kCopyLatestMs = 45;
const ChaosSchedule::Kind kCopyAfterPause = {
    "two replies for one request, the copy b ms later", 0, 0, 2, kCopyLatestMs, false, true,
    [](LineFixture& l, const Step& s) { l.SendNextReplyTwice(s.b); }, Nothing};

// The adapter repeats every request on the line before its reply.
const ChaosSchedule::Kind kEchoingAdapter = {
    "an adapter that echoes every request", 0, 0, 0, 0, false, false,
    [](LineFixture& l, const Step&) { l.Echo(true); }, [](LineFixture& l, const Step&) { l.Echo(false); }};

// The COM port vanishes as a pulled USB adapter's does, and comes back under
// the same name.
const ChaosSchedule::Kind kPulledAdapter = {
    "the adapter pulled out, then put back", 0, 0, 0, 0, false, false,
    [](LineFixture& l, const Step&) { l.PullDevice(); }, [](LineFixture& l, const Step&) { l.ReturnDevice(); }};

// The box's timer ends a connection only while both driver objects pause
// between their cycles. The one that ends its cycle first pauses while the
// other ends its own alone, so each pauses longer than the timer and a cycle
// alone together: then their pauses overlap by more than the timer.
const ChaosSchedule::Kind kIdleClose = {
    "the box closes connections idle for a ms, the host pausing a + b ms between cycles", 100, 400, 700, 1000, false,
    false, [](LineFixture& l, const Step& s) { l.CloseIdleConnectionsAfter(s.a); },
    [](LineFixture& l, const Step&) { l.CloseIdleConnectionsAfter(0); }, true};

}  // namespace

ChaosSchedule::ChaosSchedule(ChaosRun& run, ScheduleTiming timing)
    : m_run(run), m_timing(timing), m_random(run.Seed()) {}

uint32_t ChaosSchedule::Draw(uint32_t low, uint32_t high) {
    return low + m_random() % (high - low + 1);
}

void ChaosSchedule::Run(double seconds, const AfterFault& afterEach) {
    const SoakClock::time_point deadline =
        SoakClock::now() + std::chrono::duration_cast<SoakClock::duration>(std::chrono::duration<double>(seconds));
    std::vector<const Kind*> round;
    while (SoakClock::now() < deadline) {
        if (round.empty()) {
            for (const Kind& kind : kKinds) round.push_back(&kind);
            if (m_timing.adapterCanBePulled) round.push_back(&kPulledAdapter);
            if (m_timing.driverHearsTheLine) {
                round.push_back(&kEchoingAdapter);
                round.push_back(&kCopyAfterPause);
            }
            if (m_timing.boxCanCloseIdle) round.push_back(&kIdleClose);
            std::shuffle(round.begin(), round.end(), m_random);
        }
        RunStep(*round.back(), deadline);
        afterEach(round.back()->name);
        round.pop_back();
        Pass(Draw(0, kGapMaxMs), nullptr, {});
    }
    AllOff();
}

void ChaosSchedule::RunStep(const Kind& kind, SoakClock::time_point deadline) {
    Step step{static_cast<int>(Draw(1, 2)), Draw(kind.aMin, kind.aMax), Draw(kind.bMin, kind.bMax)};
    const uint32_t ms = Draw(kStepMinMs, kStepMaxMs);
    std::printf("%7.1f s: %s, a %u, b %u, station %d, for %u ms\n", m_run.Seconds(), kind.name, step.a, step.b,
                step.station, ms);
    std::fflush(stdout);
    // The relay delays a reply on top of the device's turnaround.
    if (kind.bPastTimeout) step.b += m_timing.responseTimeoutMs - m_timing.turnaroundMs;
    m_run.OnLine([&](LineFixture& line) { kind.start(line, step); });
    if (kind.hostPauses) m_run.PauseBetweenCycles(step.a + step.b);
    ++m_applied;
    const SoakClock::time_point end = std::min(deadline, SoakClock::now() + std::chrono::milliseconds(ms));
    while (SoakClock::now() < end) Pass(Draw(kPassMinMs, kPassMaxMs), kind.oneShot ? &kind : nullptr, step);
    m_run.PauseBetweenCycles(0);
    m_run.OnLine([&](LineFixture& line) { kind.stop(line, step); });
}

void ChaosSchedule::Pass(uint32_t ms, const Kind* again, const Step& step) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ChangeAValue();
    if (again != nullptr) m_run.OnLine([&](LineFixture& line) { again->start(line, step); });
}

void ChaosSchedule::ChangeAValue() {
    for (;;) {
        const size_t tag = m_random() % (2 * m_run.TagsPerDriver());
        if (m_run.Tag(tag).written) continue;
        m_run.SetNthValue(tag, m_run.History().Changes(tag) + 1);
        return;
    }
}

void ChaosSchedule::AllOff() {
    m_run.OnLine([](LineFixture& line) {
        line.Babble(false);
        line.Echo(false);
        line.ReplyInBursts(0, 0);
        line.CorruptEveryNthReply(0);
        line.DelayEveryNthReply(0, 0);
        for (int station : {1, 2}) {
            line.AcceptRequests(station);
            line.SwitchStation(station, true);
        }
    });
}
