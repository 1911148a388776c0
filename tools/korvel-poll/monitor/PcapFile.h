#pragma once
// A capture of a listened line that Wireshark and tshark read: the classic
// pcap format, one record per frame (a request, a reply, a piece of noise)
// with its time, link type 147 (DLT_USER0), which Wireshark is told to
// decode as Modbus RTU (see the README's tshark line).
#include <cstdint>
#include <ostream>
#include <string>

namespace monitor {

class PcapFile {
public:
    // Writes the file header.
    explicit PcapFile(std::ostream& out);
    // A record of bytes that began at utcUs, microseconds since 1970 in UTC.
    void Add(const std::string& bytes, int64_t utcUs);
    // The records so far onto the stream's file, whole.
    void Flush() { m_out.flush(); }

private:
    std::ostream& m_out;
};

}  // namespace monitor
