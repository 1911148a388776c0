// The pcap format's header and records, written little-endian.
#include "korvel-poll/monitor/PcapFile.h"

namespace monitor {
namespace {

constexpr uint32_t kMagic = 0xA1B2C3D4;  // microsecond timestamps
constexpr uint16_t kMajorVersion = 2;
constexpr uint16_t kMinorVersion = 4;
constexpr uint32_t kSnapLength = 65535;
constexpr uint32_t kLinkTypeUser0 = 147;
constexpr int64_t kMicrosecondsPerSecond = 1000000;

void Put(std::ostream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>(value >> (8 * i) & 0xFF));
}

}  // namespace

PcapFile::PcapFile(std::ostream& out) : m_out(out) {
    Put(m_out, kMagic, 4);
    Put(m_out, kMajorVersion, 2);
    Put(m_out, kMinorVersion, 2);
    Put(m_out, 0, 4);  // the time zone: the times are UTC
    Put(m_out, 0, 4);  // the accuracy of the times, unstated as is usual
    Put(m_out, kSnapLength, 4);
    Put(m_out, kLinkTypeUser0, 4);
    m_out.flush();
}

void PcapFile::Add(const std::string& bytes, int64_t utcUs) {
    Put(m_out, static_cast<uint32_t>(utcUs / kMicrosecondsPerSecond), 4);
    Put(m_out, static_cast<uint32_t>(utcUs % kMicrosecondsPerSecond), 4);
    Put(m_out, static_cast<uint32_t>(bytes.size()), 4);
    Put(m_out, static_cast<uint32_t>(bytes.size()), 4);
    m_out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace monitor
