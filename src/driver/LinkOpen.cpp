// Open and Close of the link, shared between the driver objects that the
// host gives the same settings record. The settings choose the kind of line
// once, here: a serial port or a network connection.
#include "driver/SerialDriverBase.h"

#include <new>

#include "driver/FrameTrace.h"
#include "line/LineClock.h"
#include "line/LineFormat.h"
#include "network/NetworkLine.h"
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"

namespace {

int32_t Refused(CDriverError& error) {
    error.SetCode(kErrorInitDevice);
    return 0;
}

// False when the baud or parity index lies outside its table.
bool FormatOf(const LinkParameters& link, line::LineFormat& format) {
    return line::LineFormatOf(link.baudIndex, link.eightDataBits != 0, link.parityIndex, link.twoStopBits != 0,
                                format);
}

}  // namespace

// A handle whose last user closed it is stale: the port is opened anew.
int32_t __stdcall CSerialDriverBase::Open(DeviceSettings* settings) {
    if (settings == nullptr || settings->link == nullptr) return Refused(m_error);
    const LinkParameters& link = *settings->link;
    m_rtsControl = link.rtsControl;
    m_responseTimeout = link.responseTimeout;

    if (!CLine::IsPortIndex(link.portIndex) || m_line == nullptr) return Refused(m_error);
    if (auto shared = CLine::Find(link.portIndex, settings->portHandle)) {
        return AdoptLink(std::move(shared), link);
    }
    return OpenLink(*settings, link);
}

// The line format belongs to the line: a record whose format changed since
// the line was opened changes it for every user. Settings that cannot be
// applied leave the line as it was, and an object that held no share yet
// does not take one.
int32_t CSerialDriverBase::AdoptLink(std::shared_ptr<CLine> line, const LinkParameters& link) {
    line::LineFormat format;
    if (!FormatOf(link, format) || line->Configure(format) != 0) return Refused(m_error);
    if (m_line != line) m_line = std::move(line);
    m_error.SetCode(kErrorNone);
    return 1;
}

// Records nothing on success, so a failure recorded before stays readable.
// A link the module already holds for this index is not opened a second
// time, and neither is a line this object already holds open. A baud or parity index outside its table is
// refused before the port is opened: some devices would take any rate.
int32_t CSerialDriverBase::OpenLink(DeviceSettings& settings, const LinkParameters& link) {
    if (m_transport != modbus::Transport::kSerial) return OpenNetworkLink(settings, link);
    line::LineFormat format;
    auto* line = dynamic_cast<CSerialLine*>(m_line.get());
    if (line == nullptr || !FormatOf(link, format)) return Refused(m_error);
    if (line->Open(link.portIndex, format) != 0) return Refused(m_error);
    settings.portHandle = m_line->Handle();
    return 1;
}

// A network line opens even when its peer cannot be reached now: it is then
// lost and tries again by itself. The object's own closed line gives way.
int32_t CSerialDriverBase::OpenNetworkLink(DeviceSettings& settings, const LinkParameters& link) {
    const CLineClock clock;
    auto line = std::make_shared<CNetworkLine>(MakeTcpSocket(), AppendTraceEvent, [clock] { return clock.NowUs(); });
    const CNetworkLine::Target target{m_transport,        m_endpoint,    m_connectTimeoutMs, m_reopen,
                                      m_transactionCheck, m_idleCloseMs, m_connectDelayMs};
    if (line->Open(link.portIndex, target) != 0) {
        return Refused(m_error);
    }
    line::LineFormat format;
    if (FormatOf(link, format)) line->Configure(format);
    CLine::CloseIfLastUser(m_line);
    m_line = std::move(line);
    settings.portHandle = m_line->Handle();
    return 1;
}

int32_t __stdcall CSerialDriverBase::Close(int32_t) {
    LeaveLink();
    m_error.SetCode(kErrorNone);
    return 1;
}

// The last user closes the line; while others still use it, this object
// goes on with a closed line of its own. Without memory for one it holds no
// line, which later Opens refuse.
void CSerialDriverBase::LeaveLink() {
    if (m_line == nullptr || CLine::CloseIfLastUser(m_line)) return;
    try {
        m_line = std::make_shared<CSerialLine>(std::make_unique<CSerialPort>());
    } catch (const std::bad_alloc&) {
        m_line = nullptr;
    }
}
