#include "korvel-poll/monitor/LineListener.h"

#include <algorithm>

#include "line/LineTiming.h"

namespace monitor {
namespace {

// USB serial adapters hand over what they received every 16 ms, or later
// on a loaded machine; the rest of a frame comes in their next piece.
constexpr int64_t kAdapterHoldUs = 50 * 1000;

}  // namespace

CutTiming ListenTiming(const line::LineFormat& format, uint32_t silenceSettingUs) {
    const line::LineTiming timing = line::SerialTiming(format, silenceSettingUs);
    const auto silenceUs = static_cast<int64_t>(timing.quietUs);
    return {static_cast<int64_t>(timing.characterUs), silenceUs, kAdapterHoldUs + silenceUs};
}

CLineListener::CLineListener(const CutTiming& timing, int64_t timeoutUs, IListenSink& sink)
    : m_cutter(timing), m_pairing(timeoutUs), m_sink(sink) {}

void CLineListener::Add(const std::string& piece, int64_t gatheredFromUs, int64_t lastByteUs) {
    std::vector<CutFrame> cut;
    m_cutter.Add(piece, gatheredFromUs, lastByteUs, cut);
    Pass(cut);
}

// Time-outs are judged only up to the bytes the cutter still holds: they
// may be the awaited reply.
void CLineListener::Quiet(int64_t nowUs) {
    std::vector<CutFrame> cut;
    m_cutter.Quiet(nowUs, cut);
    Pass(cut);
    std::vector<Exchange> told;
    m_pairing.Tick(std::min(nowUs, m_cutter.WaitingSinceUs()), told);
    Tell(told);
}

void CLineListener::Finish(int64_t nowUs) {
    std::vector<CutFrame> cut;
    m_cutter.Finish(cut);
    Pass(cut);
    std::vector<Exchange> told;
    m_pairing.Finish(nowUs, told);
    Tell(told);
}

void CLineListener::Pass(std::vector<CutFrame>& cut) {
    std::vector<Exchange> told;
    for (const CutFrame& frame : cut) {
        m_figures.AddCut(frame);
        m_sink.FrameCut(frame);
        m_pairing.Add(frame, told);
    }
    Tell(told);
}

void CLineListener::Tell(std::vector<Exchange>& told) {
    for (const Exchange& exchange : told) {
        m_figures.AddExchange(exchange);
        m_sink.ExchangeTold(exchange);
    }
}

}  // namespace monitor
