#pragma once
// --trace: the driver appends every frame to the file KORVEL_TRACE names;
// this follows that file and shows the new lines as they come.
#include <cstdint>
#include <ostream>
#include <string>

class FrameTraceView {
public:
    FrameTraceView() = default;
    FrameTraceView(const FrameTraceView&) = delete;
    FrameTraceView& operator=(const FrameTraceView&) = delete;
    // Removes the file when it was a temporary one of ours.
    ~FrameTraceView();

    // Keeps the file KORVEL_TRACE already names, from its current end, or
    // names a temporary file. Returns an empty text or what went wrong.
    std::string Start();
    // Writes the lines appended since the last call, each indented.
    void ShowNew(std::ostream& out);
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    uint64_t m_shown = 0;
    bool m_temporary = false;
};
