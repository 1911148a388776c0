// The framed exchange of a network line on RTU over TCP: the reply-placing
// engine every RTU line shares, over the connection's stream. A device
// server streams its serial line's bytes as they come, so a reply sent
// twice, or one of an earlier request, can still be arriving when the next
// request would go out, and nothing on the connection tells it apart: the
// engine's record of what is owed does.
#include <algorithm>

#include "network/NetworkLine.h"

namespace {

// What the network may add to the silence of the device server's serial
// side before bytes behind the last frame reach the connection.
constexpr uint64_t kNetworkAllowanceUs = 2000;

// The timing of the device server's serial side, with the network's
// allowance on the silence before a request.
line::LineTiming NetworkTiming(const line::LineFormat& format, uint32_t silenceUs, uint32_t msPerReplyByte) {
    line::LineTiming timing = line::SerialTiming(format, silenceUs);
    timing.quietUs += kNetworkAllowanceUs;
    timing.quietMs = static_cast<uint32_t>((timing.quietUs + 999) / 1000);
    timing.characterMs = std::max(timing.characterMs, msPerReplyByte);
    // A box may answer from a serial side faster than the line's format, or
    // have none: no wire time is known that a reply must take.
    timing.characterUs = 0;
    return timing;
}

// Forwards what the exchange reports, and traces the bytes that waited on
// the connection before a request.
class DiscardTrace : public IExchangeObserver {
public:
    DiscardTrace(IExchangeObserver* outer, const CNetworkLine::EventSink& trace, std::string name)
        : m_outer(outer), m_trace(trace), m_name(std::move(name)) {}

    void OnSend(const std::string& request, int32_t length) override {
        if (m_outer != nullptr) m_outer->OnSend(request, length);
    }
    void OnLateDiscarded(const std::string& bytes) override {
        if (m_outer != nullptr) m_outer->OnLateDiscarded(bytes);
    }
    void OnWaitingDiscarded(const std::string& bytes) override {
        m_trace(WaitingDiscardedEvent(m_name, bytes.size()));
    }
    void OnEchoFound() override {
        if (m_outer != nullptr) m_outer->OnEchoFound();
    }
    void OnForeignFrames(uint32_t count) override {
        if (m_outer != nullptr) m_outer->OnForeignFrames(count);
    }
    void OnPortLost(const std::string& port, uint32_t code) override {
        if (m_outer != nullptr) m_outer->OnPortLost(port, code);
    }
    void OnPortReopened(const std::string& port, uint64_t lostForMs) override {
        if (m_outer != nullptr) m_outer->OnPortReopened(port, lostForMs);
    }

private:
    IExchangeObserver* m_outer;
    const CNetworkLine::EventSink& m_trace;
    std::string m_name;
};

}  // namespace

ExchangeResult CNetworkLine::ExchangeFramed(std::string& data, int32_t& length, const LineUse& use,
                                            const modbus::ReplyShape& reply, IExchangeObserver* observer) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    const std::string request = data;
    const int32_t requestLength = length;
    for (bool again = false;; again = true) {
        if (!m_connection.Ensure(use.reopen) || !ReadyConnection(use.responseTimeout)) {
            return Emptied(data, length, ExchangeResult::kSendFailed);
        }
        const ExchangeResult result = m_target.transport == modbus::Transport::kModbusTcp
                                          ? ExchangeMbap(data, length, use, reply, observer)
                                          : ExchangeRtu(data, length, use, reply, observer);
        if (!RemadeBeforeRequest(again, use.responseTimeout)) return result;
        data = request;
        length = requestLength;
    }
}

ExchangeResult CNetworkLine::ExchangeRtu(std::string& data, int32_t& length, const LineUse& use,
                                         const modbus::ReplyShape& reply, IExchangeObserver* observer) {
    const int64_t startUs = m_nowUs();
    const line::PlacingRequest request{data.substr(0, static_cast<size_t>(std::clamp<int32_t>(length, 0, data.size()))),
                                       reply, use.responseTimeout, use.lateReplyMaxMs, use.echo};
    bool sent = false;
    const auto send = [&] {
        if (!KeepRequestGap(use.requestGapMs)) return false;
        if (observer != nullptr) observer->OnSend(request.request, length);
        sent = true;
        if (uint32_t code = m_socket->Send(request.request)) {
            Lose(code);
            return false;
        }
        return true;
    };
    DiscardTrace trace(observer, m_traceEvent, PortName());
    const ExchangeResult result =
        m_placer.Exchange(m_source, NetworkTiming(m_format, use.silenceUs, kMsPerReplyByte), request, send, &trace, data);
    length = static_cast<int32_t>(data.size());
    const uint32_t code = m_source.TakeFailure();
    if (code != 0 && !sent) {
        m_endedBeforeRequest = code;
    } else if (code != 0) {
        Lose(code);
    } else if (result != ExchangeResult::kSendFailed) {
        CountSilence(result != ExchangeResult::kNoReply, startUs);
    }
    return result;
}
