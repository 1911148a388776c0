#pragma once
// --plot: a log that --output wrote, read and drawn as one SVG trend
// picture. Reading, choosing the tags and writing are separate steps, so
// that a log held in memory can be drawn as a file would be.
#include <istream>
#include <string>
#include <vector>

#include "korvel-poll/poll/PollOptions.h"
#include "korvel-poll/plot/TrendLog.h"
#include "korvel-poll/plot/TrendSvg.h"

// Reads every record of in into log. Returns "" or one line saying what is
// wrong: "NAME line N: reason", or that the log holds no records. A last
// line without a line end that is not a whole record is a log still being
// written and is left out.
std::string ReadTrendLog(std::istream& in, const std::string& name, TrendLog& log);

// Which tags of the log to draw and what to call them.
struct PlotChoice {
    std::vector<std::string> addresses;  // the tags at these addresses, in this order; all when empty
    std::vector<PollTag> names;          // tags whose name a panel of theirs takes
    std::string defaultStation = "1";    // the station of names that give none
};

// Fills picture's panels and times from the log; "" or why the choice
// cannot be drawn (an address the log does not have).
std::string ChoosePanels(const TrendLog& log, const PlotChoice& choice, TrendPicture& picture);

struct PlotOutcome {
    std::string problem;   // "" when the picture was written
    bool badLog = false;   // the problem lies in the log or the choice of its tags
    std::string summary;   // what was written, for the terminal
};

PlotOutcome PlotLog(const PollOptions& options);
