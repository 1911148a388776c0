#pragma once
// Small text helpers shared by the argument, tag-file and value parsers and
// by what the tool prints.
#include <cstdint>
#include <string>
#include <vector>

std::string ToLower(const std::string& text);
std::string Trim(const std::string& text);
std::vector<std::string> Split(const std::string& text, char separator);
// The fields of a CSV line with standard quoting, so that an address with a
// count can be written "4x10,5". False on a quote left open.
bool SplitCsvFields(const std::string& line, std::vector<std::string>& fields);
// The cells of a table row, each padded to its column's width and two blanks
// apart; the last is not padded, so a row has no trailing blanks.
std::string JoinColumns(const std::vector<std::string>& cells, const std::vector<size_t>& widths);
// "1 record", "2 records": a count and its noun, plural where it is not one.
std::string Counted(size_t count, const std::string& noun);
// Rows of cells as a table, each column as wide as its widest cell, a line
// a row.
std::string TableText(const std::vector<std::vector<std::string>>& rows);
// A whole decimal number (optional sign) or a 0x hexadecimal one, within
// [min, max]. Anything else, an empty text or trailing characters included,
// gives false and leaves value alone.
bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t& value);
