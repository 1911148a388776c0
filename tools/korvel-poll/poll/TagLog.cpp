#include "korvel-poll/poll/TagLog.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "korvel-poll/host/DataTypes.h"
#include "korvel-poll/monitor/RecordFields.h"

namespace {

struct FormatName {
    OutputFormat format;
    const char* name;
};

const FormatName kFormats[] = {
    {OutputFormat::kTable, "table"},
    {OutputFormat::kCsv, "csv"},
    {OutputFormat::kJsonl, "jsonl"},
};

// Every value the tool formats is a number, but a float register may hold
// NaN or infinity, which JSON has no number for.
std::string JsonValue(const TagRecord& record) {
    if (!record.read) return "null";
    char* end = nullptr;
    const double number = std::strtod(record.value.c_str(), &end);
    const bool plainNumber = !record.value.empty() && *end == '\0' && std::isfinite(number);
    return plainNumber ? record.value : JsonString(record.value);
}

}  // namespace

bool ParseOutputFormat(const std::string& text, OutputFormat& format) {
    for (const FormatName& known : kFormats) {
        if (text != known.name) continue;
        format = known.format;
        return true;
    }
    return false;
}

std::string IsoTime(const SYSTEMTIME& utc) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond, utc.wMilliseconds);
    return text;
}

std::string CsvHeader() {
    return "time,station,address,type,value,status";
}

std::string CsvLine(const TagRecord& record) {
    return record.time + "," + std::to_string(record.station) + "," + CsvField(record.tag->address) + "," +
           DataTypeText(record.tag->dataType) + "," + (record.read ? CsvField(record.value) : "") + "," +
           CsvField(record.status);
}

std::string JsonLine(const TagRecord& record) {
    return "{\"time\":" + JsonString(record.time) + ",\"station\":" + std::to_string(record.station) +
           ",\"address\":" + JsonString(record.tag->address) + ",\"type\":" +
           JsonString(DataTypeText(record.tag->dataType)) + ",\"value\":" + JsonValue(record) +
           ",\"status\":" + JsonString(record.status) + "}";
}

TagLog::TagLog(OutputFormat format, std::ostream& out, bool writeHeader, size_t queued)
    : m_format(format), m_lines(out, queued) {
    if (writeHeader && m_format == OutputFormat::kCsv) m_lines.Add(CsvHeader());
}

void TagLog::Add(const TagRecord& record) {
    ++m_added;
    m_lines.Add(m_format == OutputFormat::kCsv ? CsvLine(record) : JsonLine(record));
}

std::string TagLog::DropReport() const {
    const uint64_t dropped = Dropped();
    if (dropped == 0) return "";
    return "log: " + std::to_string(dropped) + " of " + std::to_string(m_added) +
           " records dropped, the output could not be written as fast as the tags were read";
}
