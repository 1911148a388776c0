#pragma once
// The local echo of an RS-485 adapter whose receiver stays on while it
// sends: each request comes back on the receive line, byte for byte, before
// the device's reply. How the bytes that follow a request show it, and what
// the reply-placing engine does with them.
#include <cstdint>
#include <string>

#include "line/LineExchange.h"
#include "modbus/ReplyShape.h"

namespace line {

enum class EchoStep {
    kNone,         // the bytes are searched for the reply as they are
    kStrip,        // they begin with the whole echo: it goes before the search
    kWaitForRest   // they are the echo's first part so far: its rest is read first
};

// What to do with bytes that came after request (sent as its frame), found
// being what the reply's search makes of them. A line known to echo waits
// for the whole echo first. A line not known to echo takes no wait for it:
// only an awaited frame that is the request's first part makes the rest be
// read, and the whole request in front is taken for its echo unless the
// reply is a copy of its request (functions 5 and 6), which one copy alone
// cannot tell from its echo.
EchoStep EchoStepFor(const std::string& request, bool echoKnown, const std::string& bytes,
                     const modbus::ReplyLocation& found);

// Functions 5 and 6 are answered with a copy of the request.
bool RepliedWithCopy(const std::string& request);

// The trace event: "Echo: COM3 echoes its requests".
std::string EchoFoundEvent(const std::string& port);

}  // namespace line
