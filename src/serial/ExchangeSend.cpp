// The send phase every exchange shares.
#include <algorithm>

#include "line/LineClock.h"
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"

namespace {

// Modes 1 and 2 key RTS by hand around each request.
bool KeysRts(int32_t rtsControl) {
    return rtsControl == 1 || rtsControl == 2;
}

}  // namespace

// Whatever waits in the input queue is dropped first, so that a late reply
// to an earlier request cannot become the start of this one's reply. After
// a failed write RTS stays on; the next exchange lowers it. A failure
// empties the buffer.
ExchangeResult CSerialLine::SendRequest(std::string& data, int32_t& length, const LineUse& use,
                                        uint32_t writeTimeout, IExchangeObserver* observer) {
    m_port->DiscardInput();
    if (KeysRts(use.rtsControl)) m_port->KeyRts(true);
    auto count = static_cast<uint32_t>(std::clamp<int64_t>(length, 0, static_cast<int64_t>(data.size())));
    if (observer != nullptr) observer->OnSend(data, static_cast<int32_t>(count));
    const CLineClock clock;
    const int64_t writeStart = clock.Now();
    if (m_port->WriteData(data.data(), count, nullptr, nullptr, writeTimeout) != 0) {
        return Emptied(data, length, ExchangeResult::kSendFailed);
    }
    if (KeysRts(use.rtsControl)) ReleaseRtsAfter(writeStart, count);
    return ExchangeResult::kReplied;
}

// A write completes when the bytes are handed to the port, while a UART's
// transmit FIFO may still hold most of a short request. RTS falls one
// character time after the last stop bit has left the wire, counted from the
// start of the write, and the port's output queue is empty: any later, and a
// fast device's reply would start while the converter still sends. The hold
// sleeps until near that moment, waking by the end of the wire time to look
// at the queue, and spins only the last stretch: a spin for the whole wire
// time would hold a core for most of every request.
void CSerialLine::ReleaseRtsAfter(int64_t writeStart, uint32_t count) {
    const CLineClock clock;
    const int64_t giveUpAt = clock.Later(kWriteTimeoutMs);
    const int64_t wireEnd = writeStart + clock.TicksOfMicroseconds(line::WireMicroseconds(m_format, count));
    const int64_t characterTicks = clock.TicksOfMicroseconds(line::WireMicroseconds(m_format, 1));
    int64_t releaseAt = wireEnd + characterTicks;
    m_rtsWait.SleepNear(releaseAt, wireEnd);
    m_rtsWait.Until(wireEnd);
    if (m_port->OutputQueued() > 0) {
        while (m_port->OutputQueued() > 0 && clock.Now() < giveUpAt) {
        }
        releaseAt = clock.Now() + characterTicks;
    }
    m_rtsWait.Until(releaseAt);
    m_port->KeyRts(false);
}
