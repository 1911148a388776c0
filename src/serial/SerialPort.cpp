#include "serial/SerialPort.h"

namespace {

constexpr uint32_t kAllEvents = 0x1FF;
constexpr uint32_t kDefaultBaud = 9600;
constexpr uint8_t kDefaultByteSize = 8;
constexpr DWORD kPurgeEverything = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

}  // namespace

CSerialPort::~CSerialPort() {
    if (m_handle != nullptr) ClosePort();
}

uint32_t CSerialPort::Fail(uint32_t code) {
    m_lastError = code;
    if (code != 0) m_failure = code;
    return code;
}

uint32_t CSerialPort::TakeFailure() {
    const uint32_t code = m_failure;
    m_failure = 0;
    return code;
}

uint32_t CSerialPort::OpenPort(const char* device, uint32_t inQueue, uint32_t outQueue) {
    m_lastError = 0;
    if (m_handle != nullptr) return Fail(ERROR_ALREADY_INITIALIZED);

    HANDLE handle = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return Fail(GetLastError());
    m_handle = handle;

    m_ioEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (m_ioEvent == nullptr) {
        uint32_t code = GetLastError();
        CloseHandle(m_handle);
        m_handle = nullptr;
        return Fail(code);
    }

    if (!SetupComm(m_handle, inQueue, outQueue)) {
        uint32_t code = GetLastError();
        ClosePort();
        return Fail(code);
    }

    // Each default clears m_lastError on entry, so only the last one counts.
    SetEventMask(kAllEvents);
    SetLineFormat(kDefaultBaud, kDefaultByteSize, NOPARITY, ONESTOPBIT);
    SetReadTimeouts(0);
    SetHandshake(0);
    PurgeComm(m_handle, kPurgeEverything);
    return m_lastError;
}

uint32_t CSerialPort::ClosePort() {
    EscapeCommFunction(m_handle, CLRDTR);
    m_lastError = 0;
    if (m_handle == nullptr) return 0;
    CloseHandle(m_ioEvent);
    m_ioEvent = nullptr;
    CloseHandle(m_handle);
    m_handle = nullptr;
    return 0;
}

uint32_t CSerialPort::SetEventMask(uint32_t mask) {
    m_lastError = 0;
    if (m_handle == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (!SetCommMask(m_handle, mask)) return Fail(GetLastError());
    return 0;
}

uint32_t CSerialPort::TakeLastEvents() {
    uint32_t events = m_lastEvents;
    m_lastEvents = 0xFFFFFFFF;
    return events;
}
