#pragma once
// The records of a log korvel-poll wrote with --output, read back one line
// at a time: CSV lines
//   2026-12-07T23:40:59.580Z,17,"4x10,4",uint16,1234,OK
// or JSON Lines with the same fields, told apart by each line's first
// character, so a log appended to in both formats still reads. Header lines
// and blank lines are passed over wherever they are: logs put end to end
// carry a header each.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct LogRecord {
    int64_t timeMs = 0;  // since 1970-01-01 UTC
    int station = 0;
    std::string address;
    std::string type;
    bool read = false;  // the driver delivered a value
    double value = 0;   // when read; NaN or infinite for a float that holds no number
};

enum class LogLine { kRecord, kPassedOver, kBad };

class LogReader {
public:
    // The line without its line end. A bad line leaves its reason in Problem().
    LogLine Parse(std::string_view line, LogRecord& record);
    const std::string& Problem() const { return m_problem; }

private:
    LogLine ParseCsv(std::string_view line, LogRecord& record);
    LogLine ParseJson(std::string_view line, LogRecord& record);
    LogLine Bad(std::string problem);

    std::vector<std::string> m_fields;
    std::string m_problem;
};

// "2024-05-17T08:30:01.250Z" as milliseconds since 1970 UTC; false for any
// other form.
bool ParseIsoTime(std::string_view text, int64_t& ms);
// The time as "2024-05-17 08:30:01" (UTC).
std::string TimeText(int64_t ms);
