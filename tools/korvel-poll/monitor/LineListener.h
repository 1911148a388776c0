#pragma once
// A line listened to: the pieces of bytes its port hands over are cut into
// frames, the frames paired into exchanges and both counted. What a run
// shows and keeps of them (the records, the capture, the live view) is told
// each frame and each exchange as they come.
#include <cstdint>
#include <string>

#include "korvel-poll/monitor/ExchangePairing.h"
#include "korvel-poll/monitor/FrameCutter.h"
#include "korvel-poll/monitor/ListenFigures.h"
#include "line/LineFormat.h"

namespace monitor {

class IListenSink {
public:
    virtual void FrameCut(const CutFrame& frame) = 0;
    virtual void ExchangeTold(const Exchange& exchange) = 0;

protected:
    ~IListenSink() = default;
};

// The cutter's timing on a line of this format: its characters, the
// silence between frames (the line's own, or silenceSettingUs where that
// is set) and how long an adapter may hold a piece back.
CutTiming ListenTiming(const line::LineFormat& format, uint32_t silenceSettingUs);

class CLineListener {
public:
    CLineListener(const CutTiming& timing, int64_t timeoutUs, IListenSink& sink);

    // As the cutter takes it.
    void Add(const std::string& piece, int64_t gatheredFromUs, int64_t lastByteUs);
    // Nothing came up to nowUs.
    void Quiet(int64_t nowUs);
    // Listening ended at nowUs.
    void Finish(int64_t nowUs);
    const ListenFigures& Figures() const { return m_figures; }

private:
    void Pass(std::vector<CutFrame>& cut);
    void Tell(std::vector<Exchange>& told);

    CFrameCutter m_cutter;
    CExchangePairing m_pairing;
    ListenFigures m_figures;
    IListenSink& m_sink;
};

}  // namespace monitor
