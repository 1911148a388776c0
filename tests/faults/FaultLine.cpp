#include "FaultLine.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

bool TakesTwoRegisters(const TagAddress& tag) {
    return tag.dataType == kTypeUInt32 || tag.dataType == kTypeFloat;
}

uint32_t Pair(uint16_t low, uint16_t high) {
    return low | uint32_t{high} << 16;
}

// Writes take the field of the tag's type; the tests write no BCD tags.
TagValue ValueInEveryField(uint32_t value) {
    TagValue tagValue = {};
    tagValue.bitValue = value;
    tagValue.intValue = static_cast<int16_t>(value);
    tagValue.wordValue = static_cast<uint16_t>(value);
    tagValue.dwordValue = value;
    std::memcpy(&tagValue.floatValue, &value, sizeof value);
    return tagValue;
}

}  // namespace

namespace {

// A line reached over TCP is named by a port index of its own: no COM port
// is opened.
constexpr int kNetworkPortIndex = 49;

}  // namespace

FaultLine::FaultLine(const char* deviceServer, std::string settings)
    : m_line(deviceServer == nullptr ? std::make_unique<LineFixture>(9600, std::vector<int>{1, 2})
                                     : std::make_unique<LineFixture>(deviceServer)),
      line(*m_line),
      m_network(deviceServer != nullptr),
      m_settings(std::move(settings)) {}

void FaultLine::SetUp() {
    char directory[MAX_PATH];
    char path[MAX_PATH];
    ASSERT_TRUE(GetTempPathA(MAX_PATH, directory) && GetTempFileNameA(directory, "kvt", 0, path));
    m_tracePath = path;
    SetEnvironmentVariableA("KORVEL_TRACE", path);
    ASSERT_TRUE(driver.Created());
    ASSERT_EQ(OpenDriver(""), kSucceeded);
}

// The fixture's own settings come first, the carrier's next, then extra.
Outcome FaultLine::OpenDriver(const std::string& extra) {
    std::string settings = m_settings;
    if (m_network) settings += ";transport=rtu-over-tcp;endpoint=" + line.Endpoint();
    if (!extra.empty()) settings += ";" + extra;
    SetEnvironmentVariableA("KORVEL_SET", settings.empty() ? nullptr : settings.c_str());
    const int port = m_network ? kNetworkPortIndex : line.PortIndex();
    const Outcome opened = port < 0 ? kOpenFailed : driver.Open(port, kBaudIndex9600, kResponseTimeoutMs);
    SetEnvironmentVariableA("KORVEL_SET", nullptr);
    return opened;
}

void FaultLine::ReopenWith(const std::string& settings) {
    driver.Close();
    ASSERT_EQ(OpenDriver(settings), kSucceeded) << settings;
}

void FaultLine::TearDown() {
    SetEnvironmentVariableA("KORVEL_TRACE", nullptr);
    DeleteFileA(m_tracePath.c_str());
    std::printf("  %d reads, %d values delivered, %d wrong; %d writes, %d confirmed\n", m_reads, m_delivered,
                m_wrong, m_writes, m_confirmed);
    EXPECT_EQ(m_wrong, 0) << "values delivered that the device did not hold";
}

Outcome FaultLine::ReadChecked(int32_t station, const TagAddress& tag) {
    TagValue value = {};
    const Outcome outcome = driver.Read(station, tag, value);
    ++m_reads;
    if (outcome.result != 1) return outcome;
    ++m_delivered;
    const uint32_t expected = TableValue(station, tag);
    const uint32_t delivered = DeliveredValue(tag, value);
    if (delivered != expected) ++m_wrong;
    EXPECT_EQ(delivered, expected) << "station " << station << " address " << tag.address;
    return outcome;
}

Outcome FaultLine::Write(int32_t station, const TagAddress& tag, uint32_t value) {
    const Outcome outcome = driver.Write(station, tag, ValueInEveryField(value));
    ++m_writes;
    m_confirmed += outcome.result;
    return outcome;
}

uint32_t FaultLine::TableValue(int32_t station, const TagAddress& tag) {
    const auto address = static_cast<uint16_t>(tag.address - 1);
    switch (tag.area) {
    case kAreaCoils:
        return line.Coil(station, address);
    case kAreaDiscreteInputs:
        return line.DiscreteInput(station, address);
    case kAreaInputRegisters:
        return TakesTwoRegisters(tag) ? Pair(line.InputRegister(station, address), line.InputRegister(station, address + 1))
                           : line.InputRegister(station, address);
    default:
        return TakesTwoRegisters(tag) ? Pair(line.HoldingRegister(station, address), line.HoldingRegister(station, address + 1))
                           : line.HoldingRegister(station, address);
    }
}

void FaultLine::SetTableValue(int32_t station, const TagAddress& tag, uint32_t value) {
    const auto address = static_cast<uint16_t>(tag.address - 1);
    const auto low = static_cast<uint16_t>(value);
    const auto high = static_cast<uint16_t>(value >> 16);
    switch (tag.area) {
    case kAreaCoils:
        line.SetCoil(station, address, value != 0);
        break;
    case kAreaDiscreteInputs:
        line.SetDiscreteInput(station, address, value != 0);
        break;
    case kAreaInputRegisters:
        line.SetInputRegister(station, address, low);
        if (TakesTwoRegisters(tag)) line.SetInputRegister(station, address + 1, high);
        break;
    default:
        line.SetHoldingRegister(station, address, low);
        if (TakesTwoRegisters(tag)) line.SetHoldingRegister(station, address + 1, high);
        break;
    }
}

void FaultLine::LetLineFallQuiet() {
    Sleep(3 * kResponseTimeoutMs);
}

int FaultLine::PollCycle(int32_t station, const std::vector<TagAddress>& tags) {
    int failed = 0;
    for (const TagAddress& tag : tags) failed += ReadChecked(station, tag).result != 1;
    return failed;
}

size_t FaultLine::RequestsFor(int32_t station) {
    size_t count = 0;
    for (const Bytes& request : line.Requests()) count += !request.empty() && request[0] == station;
    return count;
}

// Frame lines have a colon right after their label; event lines carry
// theirs after the first word.
std::vector<std::string> FaultLine::TracedEvents() {
    std::ifstream trace(m_tracePath);
    std::vector<std::string> events;
    for (std::string line; std::getline(trace, line);) {
        const std::string text = line.substr(line.find(' ') + 1);
        if (text.find("Send:") == std::string::npos && text.find("Receive:") == std::string::npos) {
            events.push_back(text);
        }
    }
    return events;
}

void FaultLine::ClearTrace() {
    DeleteFileA(m_tracePath.c_str());
}
