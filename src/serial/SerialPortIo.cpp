// The overlapped operations. Without a caller's OVERLAPPED record they run
// on an internal one signalled through m_ioEvent and wait for it here; with
// a caller's record a pending operation is the caller's to complete.
#include "serial/SerialPort.h"

#include <cstring>

namespace {

constexpr uint32_t kInvalidArgument = 0x80070057;
constexpr DWORD kCancelRepeatMs = 100;

// The caller's record if there is one, else the internal one. Not every
// system resets the event when an operation starts (a port-event wait under
// Wine does not), and the manual-reset event still signalled from the last
// operation would end the next wait at once.
OVERLAPPED& RecordFor(OVERLAPPED* callers, OVERLAPPED& internal, HANDLE event) {
    if (callers != nullptr) return *callers;
    ResetEvent(event);
    internal = OVERLAPPED{};
    internal.hEvent = event;
    return internal;
}

// A transfer ended by the port's own read or write time-outs completes with
// STATUS_TIMEOUT, a success status that some systems (Wine) report as the
// failure 1460. It is the normal end of the transfer with what it moved.
bool EndedByPortTimeouts(const OVERLAPPED& record) {
    return record.Internal == STATUS_TIMEOUT;
}

}  // namespace

// An operation the system ended with a failure status has failed, also a
// port-event wait: it did not see an event (Wine ends every such wait on a
// pseudo-terminal at once, cancelled).
uint32_t CSerialPort::Complete(BOOL done, OVERLAPPED& record, bool internal, DWORD& transferred,
                               uint32_t timeout) {
    if (done) {
        SetEvent(record.hEvent);
        return 0;
    }
    uint32_t code = GetLastError();
    if (code != ERROR_IO_PENDING) return Fail(code);
    if (!internal) return 0;

    DWORD wait = WaitForSingleObject(m_ioEvent, timeout);
    if (wait == WAIT_OBJECT_0) {
        if (!GetOverlappedResult(m_handle, &record, &transferred, FALSE)) {
            if (!EndedByPortTimeouts(record)) return Fail(GetLastError());
            transferred = static_cast<DWORD>(record.InternalHigh);
        }
        return 0;
    }
    code = wait == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError();
    // The internal record and the caller's buffer live on only until we
    // return, so the cancelled operation must have ended by then. Wine drops
    // a cancel that reaches a read while it takes in bytes, so the cancel is
    // repeated until the operation has ended. What it moved before it ended
    // is in the buffer, and counted.
    do {
        CancelIo(m_handle);
    } while (WaitForSingleObject(m_ioEvent, kCancelRepeatMs) == WAIT_TIMEOUT);
    GetOverlappedResult(m_handle, &record, &transferred, FALSE);
    return Fail(code);
}

// The system writes the event mask into m_lastEvents when the wait ends,
// which with a caller's record may be after this returns.
uint32_t CSerialPort::WaitEvent(OVERLAPPED* overlapped, uint32_t timeout) {
    m_lastError = 0;
    if (m_handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    OVERLAPPED internal;
    OVERLAPPED& record = RecordFor(overlapped, internal, m_ioEvent);
    static_assert(sizeof(DWORD) == sizeof(m_lastEvents), "WaitCommEvent writes m_lastEvents");
    BOOL done = WaitCommEvent(m_handle, reinterpret_cast<DWORD*>(&m_lastEvents), &record);
    DWORD unused = 0;
    return Complete(done, record, overlapped == nullptr, unused, timeout);
}

uint32_t CSerialPort::WriteData(const void* data, uint32_t count, uint32_t* written, OVERLAPPED* overlapped,
                                uint32_t timeout) {
    m_lastError = 0;
    DWORD transferred = 0;
    if (written != nullptr) *written = 0;
    if (m_handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    OVERLAPPED internal;
    OVERLAPPED& record = RecordFor(overlapped, internal, m_ioEvent);
    BOOL done = WriteFile(m_handle, data, count, &transferred, &record);
    uint32_t code = Complete(done, record, overlapped == nullptr, transferred, timeout);
    if (written != nullptr) *written = transferred;
    return code;
}

uint32_t CSerialPort::ReadData(void* buffer, uint32_t count, uint32_t* read, OVERLAPPED* overlapped,
                               uint32_t timeout) {
    m_lastError = 0;
    DWORD transferred = 0;
    if (read != nullptr) *read = 0;
    if (m_handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    OVERLAPPED internal;
    OVERLAPPED& record = RecordFor(overlapped, internal, m_ioEvent);
    BOOL done = ReadFile(m_handle, buffer, count, &transferred, &record);
    uint32_t code = Complete(done, record, overlapped == nullptr, transferred, timeout);
    if (read != nullptr) *read = transferred;
    return code;
}

uint32_t CSerialPort::WriteText(const char* text, uint32_t* written, OVERLAPPED* overlapped, uint32_t timeout) {
    if (text == nullptr) {
        m_lastError = 0;
        if (written != nullptr) *written = 0;
        return Fail(kInvalidArgument);
    }
    return WriteData(text, static_cast<uint32_t>(std::strlen(text)), written, overlapped, timeout);
}
