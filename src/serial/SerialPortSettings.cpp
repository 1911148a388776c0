// The setters of the line format, handshake, event character and read
// time-outs. Each changes only the fields it names and keeps the rest of
// what the device reported.
#include "serial/SerialPort.h"

namespace {

constexpr uint32_t kInvalidArgument = 0x80070057;

struct HandshakeFlags {
    DWORD outxCtsFlow;
    DWORD outxDsrFlow;
    DWORD dtrControl;
    DWORD rtsControl;
};

// Indexed by mode. Software flow control is off in every mode.
constexpr HandshakeFlags kHandshakes[] = {
    {0, 0, DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE},
    {1, 1, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_HANDSHAKE},
    // RTS on and free to be keyed by hand around each request.
    {0, 0, DTR_CONTROL_HANDSHAKE, RTS_CONTROL_ENABLE},
};

struct ReadTimeouts {
    DWORD interval;
    DWORD totalConstant;
};

// Indexed by mode: return what is queued; wait for the full count; give
// up to 30 ms for bytes to arrive.
constexpr ReadTimeouts kReadTimeouts[] = {
    {MAXDWORD, 0},
    {0, 0},
    {MAXDWORD, 30},
};

constexpr int32_t kModeCount = 3;

bool IsMode(int32_t mode) {
    return mode >= 0 && mode < kModeCount;
}

}  // namespace

uint32_t CSerialPort::ReadState(DCB& dcb) {
    m_lastError = 0;
    if (m_handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    dcb = DCB{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(m_handle, &dcb)) return Fail(GetLastError());
    return 0;
}

uint32_t CSerialPort::WriteState(DCB& dcb) {
    if (!SetCommState(m_handle, &dcb)) return Fail(GetLastError());
    m_lastError = 0;
    return 0;
}

// The values go to the device unchecked: it refuses what it cannot do.
uint32_t CSerialPort::SetLineFormat(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits) {
    DCB dcb;
    if (uint32_t code = ReadState(dcb)) return code;
    dcb.BaudRate = baud;
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.fParity = parity != NOPARITY;
    return WriteState(dcb);
}

// Failures of the event mask update are not this operation's outcome.
uint32_t CSerialPort::SetEventChar(uint8_t character, int32_t enable) {
    DCB dcb;
    if (uint32_t code = ReadState(dcb)) return code;
    dcb.EvtChar = static_cast<char>(character);
    if (enable != 0) SetEventMask(GetEventMask() | EV_RXFLAG);
    return WriteState(dcb);
}

uint32_t CSerialPort::SetHandshake(int32_t mode) {
    DCB dcb;
    if (uint32_t code = ReadState(dcb)) return code;
    if (!IsMode(mode)) return Fail(kInvalidArgument);
    const HandshakeFlags& flags = kHandshakes[mode];
    dcb.fOutxCtsFlow = flags.outxCtsFlow;
    dcb.fOutxDsrFlow = flags.outxDsrFlow;
    dcb.fDtrControl = flags.dtrControl;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fRtsControl = flags.rtsControl;
    if (uint32_t code = WriteState(dcb)) return code;
    EscapeCommFunction(m_handle, SETDTR);
    return 0;
}

uint32_t CSerialPort::SetReadTimeouts(int32_t mode) {
    m_lastError = 0;
    if (m_handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(m_handle, &timeouts)) return Fail(GetLastError());
    if (!IsMode(mode)) return Fail(kInvalidArgument);
    timeouts.ReadIntervalTimeout = kReadTimeouts[mode].interval;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = kReadTimeouts[mode].totalConstant;
    if (!SetCommTimeouts(m_handle, &timeouts)) return Fail(GetLastError());
    return 0;
}
