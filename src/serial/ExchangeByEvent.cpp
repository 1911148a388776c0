// The event-driven exchange: after the request, wait for the port to report
// a received byte, then read the reply in chunks until the line falls quiet.
#include "driver/SerialDriverBase.h"
#include "serial/SerialPort.h"

// Null time-out pointers stand for m_responseTimeout. A wait that ends on
// another event than a received byte is a success with an empty reply.
int CSerialDriverBase::ExchangeByEvent(std::string& data, int32_t& length, const uint32_t* responseTimeout,
                                       const uint32_t* writeTimeout) {
    uint32_t waitLimit = responseTimeout != nullptr ? *responseTimeout : m_responseTimeout;
    uint32_t writeLimit = writeTimeout != nullptr ? *writeTimeout : m_responseTimeout;
    if (!SendRequest(data, length, writeLimit)) return 0;
    if (m_port->WaitEvent(nullptr, waitLimit) != 0) return FailExchange(data, length, kErrorReadDevice);
    uint32_t events = m_port->TakeLastEvents();
    data.clear();
    length = 0;
    int ok = (events & EV_RXCHAR) == 0 || ReadChunks(data, length, false) == 0;
    m_error.SetCode(ok ? kErrorNone : kErrorReadDevice);
    return ok;
}
