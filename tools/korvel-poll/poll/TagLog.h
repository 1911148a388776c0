#pragma once
// A log of the values a run reads, one record per tag per cycle, for another
// program to read: CSV with the header
//   time,station,address,type,value,status
// or JSON Lines with the same fields. The time is ISO 8601 in UTC with
// milliseconds; a failed read has no value (an empty field, null) and the
// driver's error text as its status.
#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "korvel-poll/poll/PollTag.h"
#include "korvel-poll/poll/QueuedLines.h"

enum class OutputFormat { kTable, kCsv, kJsonl };

// "table", "csv" or "jsonl"; false for anything else.
bool ParseOutputFormat(const std::string& text, OutputFormat& format);

struct TagRecord {
    std::string time;
    int32_t station = 0;
    const PollTag* tag = nullptr;
    bool read = false;       // the driver delivered a value
    std::string value;       // when read
    std::string status;      // "OK" or the driver's error text, in UTF-8
};

// "2024-05-17T08:30:01.250Z".
std::string IsoTime(const SYSTEMTIME& utc);
std::string CsvHeader();
std::string CsvLine(const TagRecord& record);
std::string JsonLine(const TagRecord& record);

class TagLog {
public:
    // Records that may wait for a stalled output: at 1000 reads a second,
    // a stall of 16 seconds, in a few megabytes.
    static constexpr size_t kQueuedRecords = 16384;

    // format is kCsv or kJsonl. A CSV log starts with its header only when
    // told to, so that a file appended to across runs holds it once.
    TagLog(OutputFormat format, std::ostream& out, bool writeHeader, size_t queued = kQueuedRecords);
    // Queued for the writer's thread: the poll never waits for the output.
    // Each record is flushed, so a log followed while it grows, or one cut
    // short by Ctrl+C, ends with a whole line.
    void Add(const TagRecord& record);
    // Every record queued written; at the end of a run.
    void Finish() { m_lines.Finish(); }
    uint64_t Dropped() const { return m_lines.Dropped(); }
    // One line on what the log lost, or "" when it lost nothing.
    std::string DropReport() const;

private:
    OutputFormat m_format;
    uint64_t m_added = 0;
    QueuedLines m_lines;
};
