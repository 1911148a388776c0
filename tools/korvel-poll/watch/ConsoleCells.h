#pragma once
// The watch view's lines as a console's cells, for a console drawn with its
// own functions rather than with sequences: a block of whole rows, written
// in one call, so that nobody looking at the console sees a frame half
// drawn. A wide character takes the cells the console gives it: two on a
// console that draws it two columns wide, one on a console that keeps a
// character a cell (Wine's) and leaves its width to the terminal. The marks
// colour exactly their characters' cells.
#include <windows.h>

#include <cstddef>
#include <vector>

#include "korvel-poll/watch/ScreenLine.h"

struct CellBlock {
    size_t columns;
    WORD normal;       // the console's colours when the view took it over
    size_t wideCells;  // 1 or 2
};

// Rows first to first + count of the lines, each columns cells wide, row by
// row; rows past the last line are blank.
std::vector<CHAR_INFO> ConsoleCells(const std::vector<ScreenLine>& lines, size_t first, size_t count,
                                    const CellBlock& block);

// The colours of each emphasis, from the console's own: headings and
// changed values reversed, whatever the colours are, and failures red.
WORD AttributesOf(Emphasis emphasis, WORD normal);
