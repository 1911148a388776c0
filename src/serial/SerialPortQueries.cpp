// Read-back of the device settings, and the queue status, purge, RTS and
// time-outs the exchanges work with. A settings query returns the value; its
// failure value (-1, or 0 for the event mask and character) leaves the code
// in m_lastError.
#include "serial/SerialPort.h"

namespace {

constexpr int32_t kQueryFailed = -1;

}  // namespace

int32_t CSerialPort::GetBaudRate() {
    DCB dcb;
    if (ReadState(dcb) != 0) return kQueryFailed;
    return static_cast<int32_t>(dcb.BaudRate);
}

int32_t CSerialPort::GetByteSize() {
    DCB dcb;
    if (ReadState(dcb) != 0) return kQueryFailed;
    return dcb.ByteSize;
}

int32_t CSerialPort::GetParity() {
    DCB dcb;
    if (ReadState(dcb) != 0) return kQueryFailed;
    return dcb.fParity ? dcb.Parity : NOPARITY;
}

int32_t CSerialPort::GetStopBits() {
    DCB dcb;
    if (ReadState(dcb) != 0) return kQueryFailed;
    return dcb.StopBits;
}

// Recognises hardware handshake (1) and XON/XOFF (2); mode 2 of
// SetHandshake matches neither and reads back as 0.
int32_t CSerialPort::GetHandshake() {
    DCB dcb;
    if (ReadState(dcb) != 0) return kQueryFailed;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE && dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) return 1;
    if (dcb.fOutX && dcb.fInX) return 2;
    return 0;
}

uint32_t CSerialPort::GetEventMask() {
    m_lastError = 0;
    if (m_handle == nullptr) {
        Fail(ERROR_INVALID_HANDLE);
        return 0;
    }
    DWORD mask = 0;
    if (!GetCommMask(m_handle, &mask)) {
        Fail(GetLastError());
        return 0;
    }
    return mask;
}

uint8_t CSerialPort::GetEventChar() {
    DCB dcb;
    if (ReadState(dcb) != 0) return 0;
    return static_cast<uint8_t>(dcb.EvtChar);
}

void CSerialPort::KeyRts(bool on) {
    if (m_handle != nullptr) EscapeCommFunction(m_handle, on ? SETRTS : CLRRTS);
}

uint32_t CSerialPort::QueuedBytes() {
    DWORD errors = 0;
    COMSTAT status{};
    if (m_handle != nullptr && !ClearCommError(m_handle, &errors, &status)) NoteFailure(GetLastError());
    return status.cbInQue;
}

uint32_t CSerialPort::OutputQueued() {
    DWORD errors = 0;
    COMSTAT status{};
    if (m_handle != nullptr && !ClearCommError(m_handle, &errors, &status)) NoteFailure(GetLastError());
    return status.cbOutQue;
}

void CSerialPort::DiscardInput() {
    if (m_handle != nullptr && !PurgeComm(m_handle, PURGE_RXCLEAR)) NoteFailure(GetLastError());
}

bool CSerialPort::GetTimeouts(COMMTIMEOUTS& timeouts) {
    return m_handle != nullptr && GetCommTimeouts(m_handle, &timeouts);
}

bool CSerialPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    if (m_handle == nullptr) return false;
    if (SetCommTimeouts(m_handle, const_cast<COMMTIMEOUTS*>(&timeouts))) return true;
    NoteFailure(GetLastError());
    return false;
}
