#include "korvel-poll/poll/PollTable.h"

#include <algorithm>

#include "korvel-poll/host/DataTypes.h"
#include "korvel-poll/console/TextUtil.h"

namespace {

const std::vector<std::string> kHeadings = {"name", "station", "address", "type", "value", "status"};

// Wide enough for every uint32 and every float the table prints.
constexpr size_t kValueWidth = 14;

std::vector<std::string> Cells(const PollTag& tag, const TagReading& reading) {
    return {tag.name, reading.station, tag.address, DataTypeText(tag.dataType), reading.value, reading.status};
}

}  // namespace

PollTable::PollTable(const std::vector<PollTag>& tags, const std::string& defaultStation) {
    for (const std::string& heading : kHeadings) m_widths.push_back(heading.size());
    m_widths[4] = kValueWidth;
    for (const PollTag& tag : tags) {
        TagReading sample{tag.station.empty() ? defaultStation : tag.station, "", ""};
        std::vector<std::string> cells = Cells(tag, sample);
        for (size_t i = 0; i < cells.size(); ++i) m_widths[i] = std::max(m_widths[i], cells[i].size());
    }
}

std::string PollTable::Header() const {
    return Line(kHeadings);
}

std::string PollTable::Row(const PollTag& tag, const TagReading& reading) const {
    return Line(Cells(tag, reading));
}

// The last column is not padded: it holds texts of any length.
std::string PollTable::Line(const std::vector<std::string>& cells) const {
    return JoinColumns(cells, m_widths);
}

std::string CycleSummary(unsigned cycle, size_t tags, size_t failed, unsigned long long ms) {
    return "cycle " + std::to_string(cycle) + ": " + std::to_string(tags - failed) + " of " + Counted(tags, "tag") +
           " read, " + std::to_string(failed) + " failed, " + std::to_string(ms) + " ms";
}
