#include "korvel-poll/trace/FrameTraceView.h"

#include <windows.h>

#include <fstream>

#include "korvel-poll/host/Environment.h"

namespace {

const char kTraceVariable[] = "KORVEL_TRACE";

uint64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

FrameTraceView::~FrameTraceView() {
    Stop();
}

std::string FrameTraceView::Start() {
    m_path = EnvironmentValue(kTraceVariable);
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
    SetEnvironmentValue(kTraceVariable, m_path);
    return "";
}

void FrameTraceView::Stop() {
    if (m_temporary) {
        SetEnvironmentValue(kTraceVariable, "");
        DeleteFileA(m_path.c_str());
        m_temporary = false;
    }
    m_path.clear();
}

std::string FrameTraceView::SettingsProblem() {
    std::string problem;
    for (const TraceRecord& record : Follow()) {
        if (record.kind == TraceKind::kSettings) problem = SettingsReason(record);
    }
    return problem;
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
