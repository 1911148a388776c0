#include "korvel-poll/watch/ConsoleCells.h"

#include <string>

#include "korvel-poll/console/ConsoleText.h"
#include "korvel-poll/watch/DisplayText.h"

namespace {

WORD Reversed(WORD normal) {
    return static_cast<WORD>((normal & 0xFF00) | ((normal & 0x0F) << 4) | ((normal & 0xF0) >> 4));
}

WORD AttributesAt(const ScreenLine& line, size_t at, WORD normal) {
    for (const Mark& mark : line.marks) {
        if (at >= mark.from && at < mark.from + mark.length) return AttributesOf(mark.emphasis, normal);
    }
    return normal;
}

// One row: the line's characters from the left, blanks after them.
void AppendRow(std::vector<CHAR_INFO>& cells, const ScreenLine& line, const CellBlock& block) {
    const size_t end = cells.size() + block.columns;
    for (size_t at = 0; at < line.text.size();) {
        const Character character = CharacterAt(line.text, at);
        const std::wstring units = Utf16(line.text.substr(at, character.bytes));
        const WORD attributes = AttributesAt(line, at, block.normal);
        at += character.bytes;
        const bool split = character.columns == 2 && block.wideCells == 2;
        if (cells.size() + (split ? 2 : units.size()) > end) break;
        if (split) {
            cells.push_back({{units[0]}, static_cast<WORD>(attributes | COMMON_LVB_LEADING_BYTE)});
            cells.push_back({{units[0]}, static_cast<WORD>(attributes | COMMON_LVB_TRAILING_BYTE)});
            continue;
        }
        for (wchar_t unit : units) cells.push_back({{unit}, attributes});
    }
    while (cells.size() < end) cells.push_back({{L' '}, block.normal});
}

}  // namespace

std::vector<CHAR_INFO> ConsoleCells(const std::vector<ScreenLine>& lines, size_t first, size_t count,
                                    const CellBlock& block) {
    std::vector<CHAR_INFO> cells;
    cells.reserve(count * block.columns);
    const ScreenLine blank;
    for (size_t row = first; row < first + count; ++row) {
        AppendRow(cells, row < lines.size() ? lines[row] : blank, block);
    }
    return cells;
}

WORD AttributesOf(Emphasis emphasis, WORD normal) {
    switch (emphasis) {
    case Emphasis::kHeading:
    case Emphasis::kChanged: return Reversed(normal);
    case Emphasis::kFailed: return static_cast<WORD>((normal & 0xFFF0) | FOREGROUND_RED | FOREGROUND_INTENSITY);
    }
    return normal;
}
