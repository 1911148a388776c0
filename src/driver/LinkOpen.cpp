// Open and Close of the serial link, shared between the driver objects that
// the host gives the same settings record.
#include <cstdio>

#include "driver/PortTable.h"
#include "driver/SerialDriverBase.h"
#include "serial/SerialPort.h"

namespace {

constexpr uint32_t kQueueSize = 2048;
constexpr uint32_t kReceivedCharEvent = EV_RXCHAR;
constexpr uint32_t kEveryEvent = 0xFFFFFFFF;
constexpr int32_t kHandshakeRtsEnabled = 2;
constexpr int32_t kReadTimeoutsShort = 2;

// Indexed by the host's baudIndex.
constexpr uint32_t kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                   19200, 38400, 56000, 57600, 115200, 128000, 256000};
// Indexed by the host's parityIndex, which orders them odd, even, none,
// mark, space.
constexpr uint8_t kParities[] = {ODDPARITY, EVENPARITY, NOPARITY, MARKPARITY, SPACEPARITY};

constexpr size_t kBaudCount = sizeof(kBaudRates) / sizeof(kBaudRates[0]);
constexpr size_t kParityCount = sizeof(kParities) / sizeof(kParities[0]);

struct LineFormat {
    uint32_t baud;
    uint8_t byteSize;
    uint8_t parity;
    uint8_t stopBits;
};

// False when the baud or parity index lies outside its table (negative
// indices included): some devices would take any rate given instead.
bool LineFormatOf(const LinkParameters& link, LineFormat& format) {
    auto parityIndex = static_cast<uint16_t>(link.parityIndex);
    if (link.baudIndex >= kBaudCount || parityIndex >= kParityCount) return false;
    format.baud = kBaudRates[link.baudIndex];
    format.byteSize = link.eightDataBits != 0 ? 8 : 7;
    format.parity = kParities[parityIndex];
    format.stopBits = link.twoStopBits != 0 ? TWOSTOPBITS : ONESTOPBIT;
    return true;
}

int32_t Refused(CDriverError& error) {
    error.SetCode(kErrorInitDevice);
    return 0;
}

bool HoldsOpenLink(int32_t portIndex, HANDLE handle) {
    const PortLink& link = g_portEvents[portIndex];
    return handle != nullptr && link.users > 0 && link.handle == handle;
}

}  // namespace

int32_t __stdcall CSerialDriverBase::Open(DeviceSettings* settings) {
    if (settings == nullptr || settings->link == nullptr) return Refused(m_error);
    const LinkParameters& link = *settings->link;
    m_rtsControl = link.rtsControl;
    m_responseTimeout = link.responseTimeout;

    if (!IsPortIndex(link.portIndex) || m_port == nullptr) return Refused(m_error);
    // A handle whose last user closed it is stale: the port is opened anew.
    if (HoldsOpenLink(link.portIndex, settings->portHandle)) return AdoptLink(link.portIndex);
    return OpenLink(*settings, link);
}

int32_t CSerialDriverBase::AdoptLink(int32_t portIndex) {
    PortLink& shared = g_portEvents[portIndex];
    if (m_linkIndex != portIndex) {
        LeaveLink();
        m_port->m_handle = shared.handle;
        m_port->m_ioEvent = shared.ioEvent;
        ++shared.users;
        m_linkIndex = portIndex;
    }
    m_error.SetCode(kErrorNone);
    return 1;
}

// Records nothing on success, so a failure recorded before stays readable.
// The device is opened exclusively, so a link the module already holds for
// this index cannot be opened a second time. A line format the device
// refuses closes the port again: nothing half-configured is published.
int32_t CSerialDriverBase::OpenLink(DeviceSettings& settings, const LinkParameters& link) {
    LineFormat format;
    if (!LineFormatOf(link, format) || g_portEvents[link.portIndex].users > 0) return Refused(m_error);
    char path[16];
    std::snprintf(path, sizeof(path), "\\\\.\\COM%d", link.portIndex + 1);
    if (m_port->OpenPort(path, kQueueSize, kQueueSize) != 0) return Refused(m_error);
    if (m_port->SetLineFormat(format.baud, format.byteSize, format.parity, format.stopBits) != 0) {
        m_port->ClosePort();
        return Refused(m_error);
    }
    m_port->SetEventMask(kReceivedCharEvent);
    m_port->SetHandshake(kHandshakeRtsEnabled);
    m_port->SetReadTimeouts(kReadTimeoutsShort);

    settings.portHandle = m_port->m_handle;
    g_portEvents[link.portIndex] = {m_port->m_handle, m_port->m_ioEvent, 1};
    m_linkIndex = link.portIndex;
    return 1;
}

int32_t __stdcall CSerialDriverBase::Close(int32_t) {
    LeaveLink();
    m_error.SetCode(kErrorNone);
    return 1;
}

// While others still hold a share the port only forgets the handle and
// event; the last user closes them and frees the table entry.
void CSerialDriverBase::LeaveLink() {
    if (m_port == nullptr) return;
    if (m_linkIndex >= 0 && --g_portEvents[m_linkIndex].users > 0) {
        m_port->m_handle = nullptr;
        m_port->m_ioEvent = nullptr;
    } else {
        if (m_linkIndex >= 0) g_portEvents[m_linkIndex] = {};
        // Also ends a wait for a port event still pending on the handle.
        m_port->SetEventMask(kEveryEvent);
        if (m_port->m_handle != nullptr) m_port->ClosePort();
    }
    m_linkIndex = -1;
}
