#pragma once
// A serial port as the reply-placing engine reads it: each read under read
// time-outs of its own, timed by the performance counter. The time-outs the
// port holds are known to the line, so a read asks the device to change
// them only when they differ from what it already holds.
#include <windows.h>

#include <cstdint>
#include <string>

#include "line/ByteSource.h"
#include "line/LineClock.h"

class CSerialPort;

class CPortByteSource : public line::IByteSource {
public:
    // current is what the port holds now; it follows every change made here.
    CPortByteSource(CSerialPort& port, COMMTIMEOUTS& current);
    CPortByteSource(const CPortByteSource&) = delete;
    CPortByteSource& operator=(const CPortByteSource&) = delete;

    uint32_t Read(std::string& into, uint32_t count, uint32_t gapMs, uint32_t totalMs, uint32_t& got) override;
    // A read whose time-out was served late, behind bytes that had already
    // come, ended on a gap the line never had: the queue tells.
    bool BytesWaiting() override;
    // Sending a request purges the port's input queue.
    bool DropsWaitingOnSend() const override { return true; }
    int64_t NowUs() override { return m_clock.NowUs(); }
    // Gives the processor away while it waits: the silence is a lower
    // bound, so being handed it back late costs time, never correctness.
    void WaitUntilUs(int64_t then) override;

private:
    uint32_t Limit(uint32_t intervalMs, uint32_t totalMs);

    CSerialPort& m_port;
    COMMTIMEOUTS& m_current;
    const CLineClock m_clock;
};
