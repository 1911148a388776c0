#pragma once
// Reads from a port, each under read time-outs of its own. The time-outs the
// port holds are known to the line, so a read asks the device to change them
// only when they differ from what it already holds.
#include <windows.h>

#include <cstdint>
#include <string>

class CSerialPort;

class CTimedReads {
public:
    // current is what the port holds now; it follows every change made here.
    CTimedReads(CSerialPort& port, COMMTIMEOUTS& current);
    CTimedReads(const CTimedReads&) = delete;
    CTimedReads& operator=(const CTimedReads&) = delete;

    // Appends up to count bytes to into. The read ends once count bytes have
    // come, once intervalMs pass after a byte with no next one, or totalMs
    // after it began; got is how many came. Returns the port's code: a read
    // that its time-outs end is no failure, whatever it brought.
    uint32_t Read(std::string& into, uint32_t count, uint32_t intervalMs, uint32_t totalMs, uint32_t& got);
    // Whether bytes wait in the input queue: a read whose time-out was served
    // late, behind bytes that had already come, ended on a gap the line never
    // had.
    bool BytesWaiting() const;

private:
    uint32_t Limit(uint32_t intervalMs, uint32_t totalMs);

    CSerialPort& m_port;
    COMMTIMEOUTS& m_current;
};
