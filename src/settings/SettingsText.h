#pragma once
// The small text steps of the settings parser: blanks, comments, case,
// decimal numbers, and quoting what a message repeats from the file.
#include <cstdint>
#include <string>
#include <string_view>

namespace modbus {

// Without the blanks (spaces and tabs) at either end.
std::string_view TrimBlanks(std::string_view text);
// The text before the first ';' or '#'.
std::string_view WithoutComment(std::string_view line);
bool SameIgnoringCase(std::string_view a, std::string_view b);
// At least one character, all of them decimal digits.
bool IsDecimalText(std::string_view text);
// A decimal text within min..max, stored into value. Runs of any length
// compare correctly.
bool ParseDecimalText(std::string_view text, int32_t min, int32_t max, int32_t& value);
// Text fit to repeat in a message: control and non-ASCII bytes become '?',
// and a long text is cut.
std::string Shown(std::string_view text);

}  // namespace modbus
