// The exchange Read and Write use on a serial port: the reply-placing
// engine over the port's timed reads, with the send phase every exchange
// shares. The port's read time-outs time it all: no pause is spent waiting
// for bytes that have already arrived.
#include <algorithm>

#include "line/LineTiming.h"
#include "serial/PortByteSource.h"
#include "serial/PortLoss.h"
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"

ExchangeResult CSerialLine::FramedOnOpenPort(std::string& data, int32_t& length, const LineUse& use,
                                             const modbus::ReplyShape& reply, IExchangeObserver* observer) {
    CPortByteSource source(*m_port, m_timeouts);
    const line::PlacingRequest request{data.substr(0, static_cast<size_t>(std::clamp<int32_t>(length, 0, data.size()))),
                                       reply, use.responseTimeout, use.lateReplyMaxMs, use.echo};
    const auto send = [&] {
        if (use.requestGapMs > 0) Sleep(use.requestGapMs);
        return SendRequest(data, length, use, kWriteTimeoutMs, observer) == ExchangeResult::kReplied;
    };
    const ExchangeResult result =
        m_placer.Exchange(source, line::SerialTiming(m_format, use.silenceUs), request, send, observer, data);
    length = static_cast<int32_t>(data.size());
    return result;
}

// A port that answered is not gone, whatever a call on the way reported; an
// exchange that got nothing because the port failed as a device that is gone
// does is no silence of the station.
ExchangeResult CSerialLine::ExchangeFramed(std::string& data, int32_t& length, const LineUse& use,
                                           const modbus::ReplyShape& reply, IExchangeObserver* observer) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    if (!m_port->IsOpen()) return Emptied(data, length, ExchangeResult::kSendFailed);
    m_port->TakeFailure();
    const ExchangeResult result = FramedOnOpenPort(data, length, use, reply, observer);
    const uint32_t failure = m_port->TakeFailure();
    const bool bytesCame = result == ExchangeResult::kReplied || result == ExchangeResult::kUnplaced;
    if (bytesCame || !serial::IsPortLoss(failure)) return result;
    LosePort(failure, use, observer);
    return Emptied(data, length, ExchangeResult::kPortLost);
}
