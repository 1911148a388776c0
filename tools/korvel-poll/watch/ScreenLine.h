#pragma once
// A line of a text screen as the watch view lays it out: its text, no wider
// than the screen, and the parts of it to stand out. The layout says what
// stands out and why; how (reverse video, a colour, a console attribute) is
// the business of whatever draws it.
#include <cstddef>
#include <string>
#include <vector>

enum class Emphasis {
    kHeading,  // column headings
    kChanged,  // a value that changed in the last cycle
    kFailed,   // the status of a read that failed
};

struct Mark {
    size_t from;    // byte offset into the text
    size_t length;  // bytes
    Emphasis emphasis;

    bool operator==(const Mark& other) const {
        return from == other.from && length == other.length && emphasis == other.emphasis;
    }
};

struct ScreenLine {
    std::string text;         // UTF-8
    std::vector<Mark> marks;  // in order, not overlapping

    bool operator==(const ScreenLine& other) const { return text == other.text && marks == other.marks; }
    bool operator!=(const ScreenLine& other) const { return !(*this == other); }
};

struct ScreenSize {
    size_t columns;
    size_t lines;

    bool operator==(const ScreenSize& other) const { return columns == other.columns && lines == other.lines; }
};
