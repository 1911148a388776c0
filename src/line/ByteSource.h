#pragma once
// Where the reply-placing engine gets its bytes from: a serial port's timed
// reads, or a TCP connection's stream, and the clock that times them. The
// engine reaches the carrier only through this seam.
#include <cstdint>
#include <string>

namespace line {

class IByteSource {
public:
    // Appends up to count bytes to into. The read ends once count bytes have
    // come, once gapMs pass after a byte with no next one, or totalMs after
    // it began; got is how many came. Returns the carrier's code: a read
    // that its time-outs end is no failure, whatever it brought.
    virtual uint32_t Read(std::string& into, uint32_t count, uint32_t gapMs, uint32_t totalMs, uint32_t& got) = 0;
    // Whether bytes wait to be read now.
    virtual bool BytesWaiting() = 0;
    // Whether sending a request drops whatever waits unread, as a serial
    // port's purge does; a stream keeps it.
    virtual bool DropsWaitingOnSend() const = 0;
    // Microseconds from any fixed origin.
    virtual int64_t NowUs() = 0;
    // Returns at then or soon after, having read nothing.
    virtual void WaitUntilUs(int64_t then) = 0;

protected:
    ~IByteSource() = default;
};

}  // namespace line
