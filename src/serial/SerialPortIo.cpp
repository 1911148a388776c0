// The overlapped operations. Without a caller's OVERLAPPED record they run
// on an internal one signalled through m_ioEvent and wait for it here; with
// a caller's record a pending operation is the caller's to complete.
#include "serial/SerialPort.h"

#include <cstring>

namespace {

constexpr uint32_t kInvalidArgument = 0x80070057;

OVERLAPPED InternalRecord(HANDLE event) {
    OVERLAPPED record{};
    record.hEvent = event;
    return record;
}

}  // namespace

uint32_t CSerialPort::Complete(BOOL done, OVERLAPPED& record, bool internal, DWORD* transferred,
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
        if (transferred != nullptr && !GetOverlappedResult(m_handle, &record, transferred, FALSE)) {
            return Fail(GetLastError());
        }
        return 0;
    }
    code = wait == WAIT_TIMEOUT ? ERROR_TIMEOUT : GetLastError();
    // The internal record and the caller's buffer live on only until we
    // return, so the cancelled operation must have ended by then.
    CancelIo(m_handle);
    DWORD ignored = 0;
    GetOverlappedResult(m_handle, &record, &ignored, TRUE);
    return Fail(code);
}

// The system writes the event mask into m_lastEvents when the wait ends,
// which with a caller's record may be after this returns.
uint32_t CSerialPort::WaitEvent(OVERLAPPED* overlapped, uint32_t timeout) {
    m_lastError = 0;
    if (m_handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    OVERLAPPED internal = InternalRecord(m_ioEvent);
    OVERLAPPED& record = overlapped != nullptr ? *overlapped : internal;
    static_assert(sizeof(DWORD) == sizeof(m_lastEvents), "WaitCommEvent writes m_lastEvents");
    BOOL done = WaitCommEvent(m_handle, reinterpret_cast<DWORD*>(&m_lastEvents), &record);
    return Complete(done, record, overlapped == nullptr, nullptr, timeout);
}

uint32_t CSerialPort::WriteData(const void* data, uint32_t count, uint32_t* written, OVERLAPPED* overlapped,
                                uint32_t timeout) {
    m_lastError = 0;
    DWORD transferred = 0;
    if (written != nullptr) *written = 0;
    if (m_handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    OVERLAPPED internal = InternalRecord(m_ioEvent);
    OVERLAPPED& record = overlapped != nullptr ? *overlapped : internal;
    BOOL done = WriteFile(m_handle, data, count, &transferred, &record);
    uint32_t code = Complete(done, record, overlapped == nullptr, &transferred, timeout);
    if (written != nullptr) *written = transferred;
    return code;
}

uint32_t CSerialPort::ReadData(void* buffer, uint32_t count, uint32_t* read, OVERLAPPED* overlapped,
                               uint32_t timeout) {
    m_lastError = 0;
    DWORD transferred = 0;
    if (read != nullptr) *read = 0;
    if (m_handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    OVERLAPPED internal = InternalRecord(m_ioEvent);
    OVERLAPPED& record = overlapped != nullptr ? *overlapped : internal;
    BOOL done = ReadFile(m_handle, buffer, count, &transferred, &record);
    uint32_t code = Complete(done, record, overlapped == nullptr, &transferred, timeout);
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
