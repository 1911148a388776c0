#include "SoakRun.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "support/Stopwatch.h"

namespace {

constexpr size_t kTableChangesPerCycle = 4;
// Where in the poll the cycle's write goes, and where a stopped slave
// comes back.
constexpr size_t kWriteAt = 50;
constexpr size_t kSlaveBackAt = 30;

uint8_t ReadFunction(const SoakTag& tag) {
    static constexpr uint8_t kByArea[] = {1, 2, 4, 3};
    return kByArea[tag.area];
}

}  // namespace

SoakRun::SoakRun(LineFixture& line, HostDriver& driver, const std::vector<FaultKind>& faults, bool writesLinger)
    : m_line(line), m_driver(driver), m_faults(faults), m_writesLinger(writesLinger), m_tags(SoakTags()),
      m_model(m_tags) {}

bool SoakRun::Prepare() {
    for (size_t i = 0; i < m_tags.size(); ++i) {
        SoakTag& tag = m_tags[i];
        tag.parsed = m_driver.Tag(AddressText(tag), tag.dataType);
        if (tag.parsed.dataType != tag.dataType) return false;
        if (IsWritable(tag)) m_writable.push_back(i);
        SetItems(tag, RandomRaw(tag));
    }
    return true;
}

void SoakRun::Cycle(bool inject) {
    const FaultKind* fault = nullptr;
    if (inject) fault = &m_faults[m_counts.faults % m_faults.size()];
    ChangeTables();
    if (fault != nullptr && !fault->beforeWrite) Inject(*fault, m_tags[0].station, ReadFunction(m_tags[0]));
    const uint32_t failedBefore = m_counts.failedReads;
    for (size_t i = 0; i < m_tags.size(); ++i) {
        if (i == kWriteAt) WriteTag(fault != nullptr && fault->beforeWrite, fault);
        if (i == kSlaveBackAt && fault != nullptr && fault->stopsSlave) m_line.StartSlave();
        ReadTag(i);
    }
    m_lastCycleFailures = m_counts.failedReads - failedBefore;
    ++m_counts.cycles;
}

void SoakRun::ChangeTables() {
    for (size_t n = 0; n < kTableChangesPerCycle; ++n) {
        const SoakTag& tag = m_tags[m_random() % m_tags.size()];
        SetItems(tag, RandomRaw(tag));
    }
}

void SoakRun::SetItems(const SoakTag& tag, uint32_t raw) {
    SetDeviceItems(m_line, tag, raw);
    SetModelItems(tag, raw);
}

void SoakRun::SetModelItems(const SoakTag& tag, uint32_t raw) {
    for (uint16_t i = 0; i < ItemCount(tag); ++i) {
        m_model.SetItem(tag.station, tag.area, tag.address + i, ItemOf(tag, raw, i));
    }
}

// A write that failed may still have reached the device: what it holds
// now is what the driver may meet from here on.
void SoakRun::SyncItemsFromSlave(const SoakTag& tag) {
    SetModelItems(tag, DeviceItems(m_line, tag));
}

void SoakRun::ReadTag(size_t index) {
    TagValue value = {};
    const Outcome outcome = m_driver.Read(m_tags[index].station, m_tags[index].parsed, value);
    ++m_counts.reads;
    if (outcome.result != 1) {
        ++m_counts.failedReads;
        return;
    }
    if (!m_model.Deliver(index, value) && !LandedLate(index, value)) {
        ++m_counts.wrongValues;
        ADD_FAILURE() << "cycle " << m_counts.cycles << ": " << AddressText(m_tags[index]) << " of station "
                      << m_tags[index].station << " delivered a value the device never held";
    }
}

// A failed write a gateway still held may reach the device after the soak
// took the device's value: once the device holds it, so does the model.
bool SoakRun::LandedLate(size_t index, const TagValue& value) {
    const auto pending = m_mayLand.find(index);
    if (pending == m_mayLand.end() || DeviceItems(m_line, m_tags[index]) != pending->second) return false;
    const uint32_t raw = pending->second;
    m_mayLand.erase(pending);
    SyncItemsFromSlave(m_tags[index]);
    return FieldMatches(m_tags[index], raw, value);
}

void SoakRun::WriteTag(bool inject, const FaultKind* fault) {
    const size_t index = m_writable[m_random() % m_writable.size()];
    const SoakTag& tag = m_tags[index];
    const uint32_t raw = RandomRaw(tag);
    if (inject) Inject(*fault, static_cast<uint8_t>(tag.station), WriteFunction(tag));
    const Stopwatch writing;
    const Outcome outcome = m_driver.Write(tag.station, tag.parsed, ValueToWrite(tag, raw));
    ++m_counts.writes;
    // A write that failed before its reply was due, as on a connection that
    // dropped, or one that a gateway still holds, may still be on its way to
    // the device.
    const bool mayLinger = m_writesLinger || writing.ElapsedMs() < kResponseTimeoutMs;
    if (outcome.result != 1 && mayLinger) Sleep(2 * kResponseTimeoutMs);
    SyncItemsFromSlave(tag);
    m_mayLand.erase(index);
    if (outcome.result != 1) {
        if (m_writesLinger && m_model.Raw(tag) != raw) m_mayLand[index] = raw;
        ++m_counts.failedWrites;
        return;
    }
    if (m_model.Raw(tag) != raw) {
        ++m_counts.wrongValues;
        ADD_FAILURE() << "cycle " << m_counts.cycles << ": a confirmed write of " << AddressText(tag)
                      << " left another value in the device";
    }
}

void SoakRun::Inject(const FaultKind& fault, uint8_t station, uint8_t function) {
    fault.inject(m_line, {station, function, m_counts.faults, 2 * kResponseTimeoutMs});
    ++m_counts.faults;
}

uint32_t SoakRun::RandomRaw(const SoakTag& tag) {
    const uint32_t random = m_random();
    if (tag.area == kAreaCoils || tag.area == kAreaDiscreteInputs) return random & 1;
    if (tag.dataType == kTypeBcd) {
        uint32_t digits = 0;
        for (int i = 0; i < 4; ++i) digits |= (random >> (8 * i)) % 10 << (4 * i);
        return digits;
    }
    return ItemCount(tag) == 2 ? random : random & 0xFFFF;
}

uint8_t SoakRun::WriteFunction(const SoakTag& tag) const {
    if (tag.area == kAreaCoils) return 5;
    return ItemCount(tag) == 2 ? 16 : 6;
}
