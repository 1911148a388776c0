#pragma once
// The table each polling cycle prints, one row per tag as it is read, with
// columns wide enough for every tag of the run.
#include <string>
#include <vector>

#include "korvel-poll/poll/PollTag.h"

struct TagReading {
    std::string station;
    std::string value;   // "-" when the read failed: nothing the device did not give
    std::string status;  // "OK" or the driver's error text
};

class PollTable {
public:
    PollTable(const std::vector<PollTag>& tags, const std::string& defaultStation);

    std::string Header() const;
    std::string Row(const PollTag& tag, const TagReading& reading) const;

private:
    std::string Line(const std::vector<std::string>& cells) const;

    std::vector<size_t> m_widths;
};

// "cycle 3: 5 of 6 tags read, 1 failed, 412 ms".
std::string CycleSummary(unsigned cycle, size_t tags, size_t failed, unsigned long long ms);
