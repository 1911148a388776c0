#pragma once
// The wire between the COM port's pty and the slave's pty: carries bytes both
// ways at the line's pace, and bends the slave's next reply as the test asked.
//
// Like a real port, the COM port starts empty at every open: bytes towards it
// while it is closed are lost, and what it left unread is discarded when it
// closes.
#include <termios.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "LineTap.h"
#include "PacedWriter.h"
#include "ReplyFault.h"

class LineRelay {
public:
    LineRelay(int comMaster, std::string comSlavePath, int deviceMaster, Clock::duration characterTime);
    ~LineRelay();
    LineRelay(const LineRelay&) = delete;
    LineRelay& operator=(const LineRelay&) = delete;

    void ChangeNextFault(const std::function<void(ReplyFault&)>& change);
    // Every reply from now on, until changed again.
    void SetBursts(const Bursts& bursts);
    // The next fault bends this many replies in a row instead of one.
    void RepeatNextFault(size_t replies);
    // Every nth reply from now on gets one byte inverted; 0 stops it.
    void CorruptEvery(size_t n);
    // Every nth reply from now on comes late by late on top of its other
    // delays, as from a device that now and then takes too long; 0 stops it.
    void DelayEvery(size_t n, std::chrono::milliseconds late);
    // Every reply from now on is held back this long after it left the
    // device, as a device takes time to answer; or, where most is longer,
    // for a time drawn anew for each reply up to most, as a device whose
    // scan is not in step with the line answers.
    void SetTurnaround(std::chrono::milliseconds turnaround, std::chrono::milliseconds most);
    void SendFromDevice(Bytes bytes);
    // A device that babbles: bytes of value 0 towards the COM port, one after
    // the other without a pause, until it is turned off.
    void Babble(bool on);
    // An adapter whose receiver stays on while it sends: every request
    // heard from the COM port goes back towards it too, before the reply.
    void Echo(bool on) { m_echo = on; }
    // A device hears a port set to another rate only as noise, which it does
    // not answer: from now on requests reach the slave only while the COM
    // port is set to baud. A pty keeps the rate it is set to, though it moves
    // bytes at any. False for a rate the pty cannot be set to.
    bool HearOnlyAt(uint32_t baud);
    // A slow device that needs a long turnaround: from now on a request
    // whose first bytes come sooner than silence after the last byte towards
    // the COM port does not reach the slave; 0: every request does.
    void NeedSilence(std::chrono::milliseconds silence) { m_neededSilence = silence; }
    // A listener's port hears both ways of the wire from now on.
    void Tap(LineTap* tap);

private:
    void CarryRequests();
    void CarryReplies();
    void ForwardReply(Bytes reply);
    void RunBabble();
    bool ComPortHeard() const;
    bool SilenceKept();

    const int m_comMaster;
    const std::string m_comSlavePath;
    const int m_deviceMaster;
    PacedWriter m_towardsDevice;
    PacedWriter m_towardsCom;
    std::mutex m_faultMutex;
    ReplyFault m_nextFault;
    Bursts m_bursts;
    const Clock::duration m_characterTime;
    std::atomic<bool> m_babbling{false};
    std::atomic<bool> m_echo{false};
    std::thread m_babbler;
    std::atomic<speed_t> m_onlyRate{B0};  // B0: every rate is heard
    std::atomic<std::chrono::milliseconds> m_neededSilence{std::chrono::milliseconds(0)};
    size_t m_faultRepeats = 1;
    EveryNth m_corrupted;
    EveryNth m_delayed;
    std::chrono::milliseconds m_lateBy{0};
    std::chrono::milliseconds m_turnaround{0};
    std::chrono::milliseconds m_turnaroundMost{0};
    std::mt19937 m_turnaroundDraw{2027};
    std::atomic<bool> m_stopping{false};
    std::thread m_requestCarrier;
    std::thread m_replyCarrier;
};
