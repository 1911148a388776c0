#pragma once
// The lines the driver appends to the frame trace (KORVEL_TRACE), read back:
// the frames it sent and received,
//   <ms> Read Send: 01 03 00 00 00 01 84 0A
// and the events of its line handling,
//   <ms> Retry: station 17 function 3, broken reply
//   <ms> Late: station 17 function 3, 11 bytes discarded
//   <ms> Demote: station 17 for 10000 ms
//   <ms> Probe: station 17            <ms> Restore: station 17
//   <ms> Split: station 17 <any text>
//   <ms> Settings: <file> line <n>: <reason>
//   <ms> Settings: <reason>         (no line: a file unread, an override)
//   <ms> Lost: COM3, error 22       <ms> Reopened: COM3 after 4.2 s
//   <ms> Echo: COM3 echoes its requests
//   <ms> Foreign: COM3, 4 frames nobody asked for; <any text>
// A line of any other form is kUnknown: a newer driver may write more.
#include <cstdint>
#include <string>
#include <vector>

enum class TraceKind {
    kUnknown,
    kReadSend,
    kReadReceive,
    kWriteSend,
    kWriteReceive,
    kRetry,
    kLate,
    kDemote,
    kProbe,
    kRestore,
    kSplit,
    kSettings,
    kLost,
    kReopened,
    kEcho,
    kForeign,
};

struct TraceRecord {
    TraceKind kind = TraceKind::kUnknown;
    uint64_t ms = 0;
    std::vector<uint8_t> bytes;  // frames; a Receive without bytes had no reply
    int station = 0;             // events about a station
    int function = 0;            // Retry, Late
    uint64_t number = 0;         // Demote, Reopened: milliseconds; Settings: line number; Lost: the error;
                                 // Foreign: the frames
    std::string text;            // Retry: the reason; Late: what was dropped; Split: the rest; Settings: the
                                 // reason; Lost, Reopened, Echo, Foreign: the port
    std::string file;            // Settings with a line number
};

TraceRecord ParseTraceLine(const std::string& line);
bool IsSend(TraceKind kind);
bool IsReceive(TraceKind kind);
// A Settings record's reason as the driver wrote it.
std::string SettingsReason(const TraceRecord& record);
