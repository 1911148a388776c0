#pragma once
// One soak: a driver object polls the soak's tags cycle after cycle on a
// 115200-baud line, with a write in every cycle, the slave's tables changing
// under it and faults injected at a steady rate. Every delivered value is
// checked against what the slave held; every confirmed write against what
// the slave took.
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "FaultRotation.h"
#include "SlaveModel.h"
#include "SoakTags.h"
#include "support/HostDriver.h"
#include "support/LineFixture.h"

struct SoakCounts {
    uint32_t cycles = 0;
    uint32_t reads = 0;
    uint32_t failedReads = 0;
    uint32_t writes = 0;
    uint32_t failedWrites = 0;
    uint32_t faults = 0;
    uint32_t wrongValues = 0;  // reads that delivered, and writes confirmed, wrongly
};

class SoakRun {
public:
    static constexpr uint32_t kResponseTimeoutMs = 100;

    // writesLinger: a write that failed may still reach the device a while
    // later, as one queued in a gateway does.
    SoakRun(LineFixture& line, HostDriver& driver, const std::vector<FaultKind>& faults = FaultKinds(),
            bool writesLinger = false);

    // Parses the tags and gives the slave's tables their first values.
    bool Prepare();
    // One poll of every tag, with its write; a fault when inject is set.
    void Cycle(bool inject);
    // Failed reads in the cycle just run.
    uint32_t FailedReadsOfLastCycle() const { return m_lastCycleFailures; }
    const SoakCounts& Counts() const { return m_counts; }
    size_t TagCount() const { return m_tags.size(); }
    size_t FaultKindCount() const { return m_faults.size(); }

private:
    void ChangeTables();
    void SetItems(const SoakTag& tag, uint32_t raw);
    void SetModelItems(const SoakTag& tag, uint32_t raw);
    void SyncItemsFromSlave(const SoakTag& tag);
    void ReadTag(size_t index);
    bool LandedLate(size_t index, const TagValue& value);
    void WriteTag(bool inject, const FaultKind* fault);
    void Inject(const FaultKind& fault, uint8_t station, uint8_t function);
    uint32_t RandomRaw(const SoakTag& tag);
    uint8_t WriteFunction(const SoakTag& tag) const;

    LineFixture& m_line;
    HostDriver& m_driver;
    const std::vector<FaultKind>& m_faults;
    const bool m_writesLinger;
    std::vector<SoakTag> m_tags;
    std::vector<size_t> m_writable;
    SlaveModel m_model;
    std::mt19937 m_random{20240607};
    SoakCounts m_counts;
    uint32_t m_lastCycleFailures = 0;
    // By tag: the value of a failed write that may still reach the device.
    std::map<size_t, uint32_t> m_mayLand;
};
