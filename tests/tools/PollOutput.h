#pragma once
// Reading korvel-poll's printed table back: the row of a tag by its name.
#include <string>
#include <vector>

struct PollRow {
    std::string name, station, address, type, value, status;
};

// The rows of every cycle, in order, for the tag of that name.
std::vector<PollRow> RowsNamed(const std::string& output, const std::string& name);
