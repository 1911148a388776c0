#include "korvel-poll/FrameTraceView.h"

#include <windows.h>

#include <fstream>

namespace {

const char kTraceVariable[] = "KORVEL_TRACE";

std::string CurrentTraceFile() {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(kTraceVariable, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

FrameTraceView::~FrameTraceView() {
    if (m_temporary) DeleteFileA(m_path.c_str());
}

std::string FrameTraceView::Start() {
    m_path = CurrentTraceFile();
    if (!m_path.empty()) {
        m_followed = FileSize(m_path);
        return "";
    }
    char folder[MAX_PATH];
    char file[MAX_PATH];
    if (GetTempPathA(sizeof folder, folder) == 0 || GetTempFileNameA(folder, "kvt", 0, file) == 0) {
        return "cannot create a temporary file for the frame trace";
    }
    m_path = file;
    m_temporary = true;
    SetEnvironmentVariableA(kTraceVariable, m_path.c_str());
    return "";
}

std::vector<TraceRecord> FrameTraceView::Follow() {
    std::vector<TraceRecord> records;
    if (m_path.empty()) return records;
    std::ifstream in(m_path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(m_followed));
    std::string line;
    // A line still being written has no newline yet; it is read next time.
    while (std::getline(in, line) && !in.eof()) {
        m_followed += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (m_show != nullptr) *m_show << "    " << line << '\n';
        records.push_back(ParseTraceLine(line));
        if (m_stats != nullptr) m_stats->Add(records.back());
    }
    return records;
}
