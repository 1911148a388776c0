#pragma once
// Tag lists kept in a file, one tag a line:
//   address, type[, name[, station]]
// Blank lines and lines starting with '#' are skipped, and so is a header
// line whose first field is "address". Fields follow CSV quoting, so an
// address with a count is written "4x10,5".
#include <istream>
#include <string>
#include <vector>

#include "korvel-poll/poll/PollTag.h"

// Appends the file's tags; on the first bad line returns "FILE:LINE: what is
// wrong" and appends nothing.
std::string ReadTagList(std::istream& in, const std::string& fileName, std::vector<PollTag>& tags);
std::string LoadTagFile(const std::string& path, std::vector<PollTag>& tags);
