#include "korvel-poll/watch/VtFrame.h"

#include <string>

namespace {

// Select Graphic Rendition for each emphasis: bold headings, changed values
// in reverse video, failures in red; then back to normal.
const char* Rendition(Emphasis emphasis) {
    switch (emphasis) {
    case Emphasis::kHeading: return "\x1b[1m";
    case Emphasis::kChanged: return "\x1b[7m";
    case Emphasis::kFailed: return "\x1b[31m";
    }
    return "";
}

const char kNormal[] = "\x1b[0m";
const char kHome[] = "\x1b[H";
const char kEraseLineEnd[] = "\x1b[K";
const char kEraseBelow[] = "\x1b[J";

// The cursor to the start of row (from 0).
std::string RowStart(size_t row) {
    return "\x1b[" + std::to_string(row + 1) + "H";
}

void AppendLine(std::string& out, const ScreenLine& line) {
    size_t at = 0;
    for (const Mark& mark : line.marks) {
        out.append(line.text, at, mark.from - at);
        out += Rendition(mark.emphasis);
        out.append(line.text, mark.from, mark.length);
        out += kNormal;
        at = mark.from + mark.length;
    }
    out.append(line.text, at, std::string::npos);
    out += kEraseLineEnd;
}

}  // namespace

std::string VtFrame(const std::vector<ScreenLine>& before, const std::vector<ScreenLine>& lines) {
    if (before.empty()) {
        std::string out = kHome;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i > 0) out += "\r\n";
            AppendLine(out, lines[i]);
        }
        return out + kEraseBelow;
    }
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i < before.size() && before[i] == lines[i]) continue;
        out += RowStart(i);
        AppendLine(out, lines[i]);
    }
    if (lines.size() < before.size()) out += RowStart(lines.size()) + kEraseBelow;
    return out;
}
