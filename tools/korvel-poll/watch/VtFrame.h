#pragma once
// A laid-out screen as virtual terminal sequences, drawn over the last one
// in a single write. Over a blank screen (nothing drawn before) every line
// is written from home; over the last frame only the lines that differ
// from it, each from its own row. A line is written with its marks and
// erased to its end, and what is below the last line is erased. Nothing
// scrolls, since no line is wider than the screen and none ends in a line
// feed at the bottom. Nothing changed: nothing to write.
#include <string>
#include <vector>

#include "korvel-poll/watch/ScreenLine.h"

std::string VtFrame(const std::vector<ScreenLine>& before, const std::vector<ScreenLine>& lines);
