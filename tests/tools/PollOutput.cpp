#include "PollOutput.h"

#include <sstream>

#include "ToolProcess.h"

std::vector<PollRow> RowsNamed(const std::string& output, const std::string& name) {
    std::vector<PollRow> rows;
    for (const std::string& line : Lines(output)) {
        std::istringstream cells(line);
        PollRow row;
        if (!(cells >> row.name >> row.station >> row.address >> row.type >> row.value) || row.name != name) continue;
        std::getline(cells >> std::ws, row.status);
        rows.push_back(row);
    }
    return rows;
}
