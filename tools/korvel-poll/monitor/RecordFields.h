#pragma once
// Fields of the records korvel-poll writes for other programs: a CSV field
// quoted where it must be, a JSON string escaped.
#include <string>

std::string CsvField(const std::string& text);
std::string JsonString(const std::string& text);
