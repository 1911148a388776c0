#pragma once
// Text measured in terminal columns rather than bytes. The driver's error
// texts are Chinese, each character two columns wide, and the trend is drawn
// in block characters of three bytes and one column each: a table that pads
// by bytes would not line up.
#include <cstddef>
#include <string>

// A character of a UTF-8 text: its bytes and the columns it takes.
struct Character {
    size_t bytes;
    size_t columns;
};

// The character that starts at byte at; a broken sequence is a character
// of one byte.
Character CharacterAt(const std::string& utf8, size_t at);
// The columns the UTF-8 text takes on a terminal: two for East Asian wide
// characters, one for every other character.
size_t DisplayWidth(const std::string& utf8);
// The text cut to at most columns, a cut marked with a '~' in its last
// column; a wide character that would straddle the edge is left out whole.
std::string FitColumns(const std::string& utf8, size_t columns);
// The text fitted to columns and padded with blanks to exactly that width.
std::string PadColumns(const std::string& utf8, size_t columns);
