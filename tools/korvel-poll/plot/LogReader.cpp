#include "korvel-poll/plot/LogReader.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "korvel-poll/console/TextUtil.h"

namespace {

const std::string_view kCsvHeader = "time,station,address,type,value,status";
constexpr size_t kIsoTimeLength = 24;
constexpr int64_t kMsPerDay = 86400000;
constexpr int kLargestStation = 255;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2), month, day};
}

// The digits at text[at..at+count) as a number within [min, max].
bool Digits(std::string_view text, size_t at, size_t count, unsigned min, unsigned max, unsigned& value) {
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return value >= min && value <= max;
}

bool ParseStation(std::string_view text, int& station) {
    int64_t number = 0;
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos ||
        !ParseInteger(std::string(text), 0, kLargestStation, number)) {
        return false;
    }
    station = static_cast<int>(number);
    return true;
}

// A value as the log writes it: a number, or nan and inf for a float
// register that holds no number.
bool ParseValue(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

// A flat JSON object of strings, numbers and null, as TagLog writes one.
class JsonFields {
public:
    explicit JsonFields(std::string_view text) : m_text(text) {}

    // The next member; false at the end or on a fault, which Fault() names.
    bool Next(std::string& key, std::string& value, bool& isString) {
        SkipBlanks();
        if (m_at == 0) {
            if (!Take('{')) return Fail("a JSON record starts with '{'");
            SkipBlanks();
            if (Take('}')) return false;
        } else if (Take('}')) {
            return false;
        } else if (!Take(',')) {
            return Fail("',' or '}' expected after a value");
        }
        SkipBlanks();
        if (!String(key)) return Fail("a member name expected");
        SkipBlanks();
        if (!Take(':')) return Fail("':' expected after \"" + key + "\"");
        SkipBlanks();
        isString = Peek() == '"';
        if (isString ? !String(value) : !Bare(value)) return Fail("a value expected for \"" + key + "\"");
        return true;
    }
    const std::string& Fault() const { return m_fault; }

private:
    char Peek() const { return m_at < m_text.size() ? m_text[m_at] : '\0'; }
    bool Take(char c) {
        if (Peek() != c) return false;
        ++m_at;
        return true;
    }
    void SkipBlanks() {
        while (Peek() == ' ' || Peek() == '\t') ++m_at;
    }
    bool Fail(const std::string& fault) {
        m_fault = fault;
        return false;
    }
    // Only the escapes TagLog writes matter to a record; others are kept
    // as the character after the backslash.
    bool String(std::string& out) {
        out.clear();
        if (!Take('"')) return false;
        while (m_at < m_text.size() && m_text[m_at] != '"') {
            char c = m_text[m_at++];
            if (c == '\\' && m_at < m_text.size()) {
                c = m_text[m_at++];
                if (c == 'u') {
                    m_at += 4;
                    c = '?';
                }
            }
            out += c;
        }
        return Take('"');
    }
    bool Bare(std::string& out) {
        const size_t start = m_at;
        while (m_at < m_text.size() && m_text[m_at] != ',' && m_text[m_at] != '}' && m_text[m_at] != ' ') ++m_at;
        out.assign(m_text.substr(start, m_at - start));
        return !out.empty();
    }

    std::string_view m_text;
    size_t m_at = 0;
    std::string m_fault;
};

}  // namespace

bool ParseIsoTime(std::string_view text, int64_t& ms) {
    unsigned year, month, day, hour, minute, second, milli;
    if (text.size() != kIsoTimeLength || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != '.' || text[23] != 'Z') {
        return false;
    }
    if (!Digits(text, 0, 4, 1970, 9999, year) || !Digits(text, 5, 2, 1, 12, month) || !Digits(text, 8, 2, 1, 31, day) ||
        !Digits(text, 11, 2, 0, 23, hour) || !Digits(text, 14, 2, 0, 59, minute) ||
        !Digits(text, 17, 2, 0, 60, second) || !Digits(text, 20, 3, 0, 999, milli)) {
        return false;
    }
    ms = DaysFromCivil(year, month, day) * kMsPerDay + ((hour * 60 + minute) * 60 + second) * 1000LL + milli;
    return true;
}

std::string TimeText(int64_t ms) {
    const int64_t days = (ms >= 0 ? ms : ms - kMsPerDay + 1) / kMsPerDay;
    const int64_t ofDay = ms - days * kMsPerDay;
    const CivilDate date = CivilFromDays(days);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld", static_cast<long long>(date.year),
                  date.month, date.day, static_cast<long long>(ofDay / 3600000),
                  static_cast<long long>(ofDay / 60000 % 60), static_cast<long long>(ofDay / 1000 % 60));
    return text;
}

LogLine LogReader::Bad(std::string problem) {
    m_problem = std::move(problem);
    return LogLine::kBad;
}

LogLine LogReader::Parse(std::string_view line, LogRecord& record) {
    if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos || line == kCsvHeader) return LogLine::kPassedOver;
    return line.front() == '{' ? ParseJson(line, record) : ParseCsv(line, record);
}

LogLine LogReader::ParseCsv(std::string_view line, LogRecord& record) {
    if (!SplitCsvFields(std::string(line), m_fields)) return Bad("a quote is not closed");
    if (m_fields.size() != 6) {
        return Bad("expected time,station,address,type,value,status, found " + std::to_string(m_fields.size()) +
                   " field(s)");
    }
    if (!ParseIsoTime(m_fields[0], record.timeMs)) {
        return Bad("'" + m_fields[0] + "' is not a time such as 2024-05-17T08:30:01.250Z");
    }
    if (!ParseStation(m_fields[1], record.station)) return Bad("station '" + m_fields[1] + "' is not 0..255");
    if (m_fields[2].empty() || m_fields[3].empty()) return Bad("a record names its tag's address and type");
    record.address = m_fields[2];
    record.type = m_fields[3];
    record.read = !m_fields[4].empty();
    if (record.read && !ParseValue(m_fields[4], record.value)) {
        return Bad("value '" + m_fields[4] + "' is not a number");
    }
    return LogLine::kRecord;
}

LogLine LogReader::ParseJson(std::string_view line, LogRecord& record) {
    JsonFields fields(line);
    std::string key;
    std::string value;
    bool isString = false;
    // Every field a record needs, each seen once.
    bool time = false, station = false, address = false, type = false, read = false;
    while (fields.Next(key, value, isString)) {
        if (key == "time") {
            if (!isString || !ParseIsoTime(value, record.timeMs)) {
                return Bad("\"time\" is not a time such as \"2024-05-17T08:30:01.250Z\"");
            }
            time = true;
        } else if (key == "station") {
            if (isString || !ParseStation(value, record.station)) return Bad("\"station\" is not a number 0..255");
            station = true;
        } else if (key == "address" || key == "type") {
            if (!isString || value.empty()) return Bad("\"" + key + "\" is not a text");
            (key == "address" ? record.address : record.type) = value;
            (key == "address" ? address : type) = true;
        } else if (key == "value") {
            record.read = isString || value != "null";
            if (record.read && !ParseValue(value, record.value)) return Bad("\"value\" " + value + " is not a number");
            read = true;
        }
    }
    if (!fields.Fault().empty()) return Bad(fields.Fault());
    if (!time || !station || !address || !type || !read) {
        return Bad("a JSON record has \"time\", \"station\", \"address\", \"type\" and \"value\"");
    }
    return LogLine::kRecord;
}
