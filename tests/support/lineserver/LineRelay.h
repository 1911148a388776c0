#pragma once
// The wire between the COM port's pty and the slave's pty: carries bytes both
// ways at the line's pace, and bends the slave's next reply as the test asked.
//
// Like a real port, the COM port starts empty at every open: bytes towards it
// while it is closed are lost, and what it left unread is discarded when it
// closes.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "PacedWriter.h"
#include "ReplyFault.h"

class LineRelay {
public:
    LineRelay(int comMaster, std::string comSlavePath, int deviceMaster, Clock::duration characterTime);
    ~LineRelay();
    LineRelay(const LineRelay&) = delete;
    LineRelay& operator=(const LineRelay&) = delete;

    void ChangeNextFault(const std::function<void(ReplyFault&)>& change);
    // The next fault bends this many replies in a row instead of one.
    void RepeatNextFault(size_t replies);
    // Every nth reply from now on gets one byte inverted; 0 stops it.
    void CorruptEvery(size_t n);
    void SendFromDevice(Bytes bytes);

private:
    void CarryRequests();
    void CarryReplies();
    void ForwardReply(Bytes reply);

    const int m_comMaster;
    const std::string m_comSlavePath;
    const int m_deviceMaster;
    PacedWriter m_towardsDevice;
    PacedWriter m_towardsCom;
    std::mutex m_faultMutex;
    ReplyFault m_nextFault;
    size_t m_faultRepeats = 1;
    size_t m_corruptEvery = 0;
    size_t m_repliesSinceCorrupted = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_requestCarrier;
    std::thread m_replyCarrier;
};
