// The event-driven exchange: after the request, wait for the port to report
// a received byte, then read the reply in chunks until the line falls quiet.
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"

// A wait that ends on another event than a received byte is a success with
// an empty reply.
ExchangeResult CSerialLine::ExchangeByEvent(std::string& data, int32_t& length, const LineUse& use,
                                            const uint32_t* responseTimeout, const uint32_t* writeTimeout) {
    std::lock_guard<CTurnLock> turn(m_exchangeLock);
    RestoreOpenTimeouts();
    const uint32_t waitLimit = responseTimeout != nullptr ? *responseTimeout : use.responseTimeout;
    const uint32_t writeLimit = writeTimeout != nullptr ? *writeTimeout : use.responseTimeout;
    if (SendRequest(data, length, use, writeLimit) != ExchangeResult::kReplied) return ExchangeResult::kSendFailed;
    if (m_port->WaitEvent(nullptr, waitLimit) != 0) return Emptied(data, length, ExchangeResult::kWaitFailed);
    const uint32_t events = m_port->TakeLastEvents();
    data.clear();
    length = 0;
    const bool ok = (events & EV_RXCHAR) == 0 || ReadChunks(data, length, false) == 0;
    return ok ? ExchangeResult::kReplied : ExchangeResult::kReadFailed;
}
