#pragma once
// A laid-out screen as virtual terminal sequences, drawn over the last one
// in a single write: the cursor goes home, each line is written with its
// marks and erased to its end, and what is below the last line is erased.
// Nothing scrolls, since no line is wider than the screen and none ends in
// a line feed at the bottom.
#include <string>
#include <vector>

#include "korvel-poll/watch/ScreenLine.h"

std::string VtFrame(const std::vector<ScreenLine>& lines);
