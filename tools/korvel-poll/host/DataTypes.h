#pragma once
// The host's data-type codes under the names people write on the command line.
#include <cstdint>
#include <string>

// Finds a type by name ("uint16") or by the host's code ("8"); false when the
// text is neither.
bool LookupDataType(const std::string& text, int16_t& code);
// The name of a known code, or "?" for any other.
const char* DataTypeText(int16_t code);
// "bit, int16, uint16, bcd, uint32, float" for messages.
std::string DataTypeList();
// The names of the known types in a type mask, "uint32 or float".
std::string DataTypeNames(uint32_t mask);
// "1, 4, 8, 16, 32, 128".
std::string DataTypeCodes();
