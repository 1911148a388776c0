#include "driver/FrameTrace.h"

#include <windows.h>

#include <new>

#include "driver/Environment.h"

namespace {

const char kTraceVariable[] = "KORVEL_TRACE";

// Opened for appending and shared, so several driver objects, processes and
// a reader following the file can all hold it at once.
void AppendLine(const std::string& path, const std::string& line) {
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

// A failing trace never disturbs the driver: a file that cannot be opened, or
// memory that cannot be had, just costs the line. lineAt makes the line from
// the time in milliseconds.
template <typename LineAt>
void AppendTraced(const LineAt& lineAt) {
    try {
        const std::string path = EnvironmentValue(kTraceVariable);
        if (!path.empty()) AppendLine(path, lineAt(GetTickCount64()) + "\n");
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

std::string FormatTraceLine(uint64_t milliseconds, const char* label, const uint8_t* bytes, int32_t count) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string line = std::to_string(milliseconds) + " " + (label != nullptr ? label : "") + ":";
    for (int32_t i = 0; bytes != nullptr && i < count; ++i) {
        line += ' ';
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 0x0F];
    }
    return line;
}

void AppendFrameTrace(const char* label, const uint8_t* bytes, int32_t count) {
    AppendTraced([&](uint64_t ms) { return FormatTraceLine(ms, label, bytes, count); });
}

void AppendTraceEvent(const std::string& text) {
    AppendTraced([&](uint64_t ms) { return std::to_string(ms) + " " + text; });
}
