#pragma once
// One Win32 communications device opened for overlapped I/O. Every operation
// but TakeLastEvents clears m_lastError on entry, records the Win32 code of
// whatever failed and returns it (0 = success); queries return the value.
#include <windows.h>

#include <cstdint>

class CSerialPort {
public:
    CSerialPort() = default;
    virtual ~CSerialPort();

    virtual uint32_t OpenPort(const char* device, uint32_t inQueue, uint32_t outQueue);
    virtual uint32_t ClosePort();
    virtual uint32_t SetLineFormat(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits);
    virtual uint32_t SetEventChar(uint8_t character, int32_t enable);
    virtual uint32_t SetEventMask(uint32_t mask);
    virtual uint32_t WaitEvent(OVERLAPPED* overlapped, uint32_t timeout);
    virtual uint32_t SetHandshake(int32_t mode);
    virtual uint32_t SetReadTimeouts(int32_t mode);
    virtual int32_t GetBaudRate();
    virtual int32_t GetByteSize();
    virtual int32_t GetParity();
    virtual int32_t GetStopBits();
    virtual int32_t GetHandshake();
    virtual uint32_t GetEventMask();
    virtual uint8_t GetEventChar();
    virtual uint32_t WriteText(const char* text, uint32_t* written, OVERLAPPED* overlapped, uint32_t timeout);
    virtual uint32_t WriteData(const void* data, uint32_t count, uint32_t* written, OVERLAPPED* overlapped,
                               uint32_t timeout);
    virtual uint32_t ReadData(void* buffer, uint32_t count, uint32_t* read, OVERLAPPED* overlapped,
                              uint32_t timeout);
    uint32_t TakeLastEvents();

    // Line controls and queries of the exchanges. On a closed port they do
    // nothing, and a failed status query counts as an empty queue.
    virtual void KeyRts(bool on);
    virtual uint32_t QueuedBytes();
    // Bytes the system still holds to send; 0 also when the port cannot tell.
    virtual uint32_t OutputQueued();
    virtual void DiscardInput();
    virtual bool GetTimeouts(COMMTIMEOUTS& timeouts);
    virtual bool SetTimeouts(const COMMTIMEOUTS& timeouts);

    virtual bool IsOpen() const { return m_handle != nullptr; }
    // The device handle, for the host's settings record and for comparing
    // it with the one a record carries; never for calls around this class.
    virtual HANDLE Handle() const { return m_handle; }
    // The code of the last call on the device that failed since the last
    // take, the line controls and queue queries included, whose callers do
    // not look at each result; 0 for none.
    uint32_t TakeFailure();

    uint32_t m_lastError = 0;
    uint32_t m_lastEvents = 0xFFFFFFFF;

protected:
    // Stores code as the outcome of the running operation and returns it.
    uint32_t Fail(uint32_t code);
    // Remembers the failure of a call whose caller goes on regardless.
    void NoteFailure(uint32_t code) { m_failure = code; }

private:
    HANDLE m_handle = nullptr;
    HANDLE m_ioEvent = nullptr;
    uint32_t m_failure = 0;

    // Clears m_lastError and reads the device's DCB; 6 on a closed port.
    uint32_t ReadState(DCB& dcb);
    // Writes the DCB back; a failure becomes the outcome, else 0.
    uint32_t WriteState(DCB& dcb);
    // Ends an overlapped call issued on record: waits for it within timeout
    // when record is the internal one, and fills transferred.
    uint32_t Complete(BOOL done, OVERLAPPED& record, bool internal, DWORD& transferred, uint32_t timeout);
};
