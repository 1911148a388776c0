#include "korvel-poll/plot/PlotLog.h"

#include <fstream>

#include "korvel-poll/host/DataTypes.h"
#include "korvel-poll/plot/Thinning.h"

namespace {

// Big reads: a day's log of twenty tags is a hundred megabytes.
constexpr size_t kChunkBytes = 1 << 20;

std::string TitleOf(const TrendSeries& series, const PlotChoice& choice) {
    const std::string tag =
        "station " + std::to_string(series.station) + ", " + series.address + ", " + series.type;
    for (const PollTag& name : choice.names) {
        const std::string& station = name.station.empty() ? choice.defaultStation : name.station;
        if (name.address == series.address && DataTypeText(name.dataType) == series.type &&
            station == std::to_string(series.station) && name.name != name.address) {
            return name.name + " (" + tag + ")";
        }
    }
    return tag;
}

// "3x1, 3x3, 0x1 and 2 more", for a --tag that matches nothing.
std::string AddressesOf(const TrendLog& log) {
    constexpr size_t kListed = 8;
    std::string list;
    std::vector<std::string> seen;
    for (const TrendSeries& series : log.Series()) {
        bool known = false;
        for (const std::string& address : seen) known = known || address == series.address;
        if (!known) seen.push_back(series.address);
    }
    for (size_t i = 0; i < seen.size() && i < kListed; ++i) list += (i == 0 ? "" : ", ") + seen[i];
    if (seen.size() > kListed) list += " and " + std::to_string(seen.size() - kListed) + " more";
    return list;
}

std::vector<const TrendSeries*> ChooseSeries(const TrendLog& log, const PlotChoice& choice, std::string& problem) {
    std::vector<const TrendSeries*> chosen;
    if (choice.addresses.empty()) {
        for (const TrendSeries& series : log.Series()) chosen.push_back(&series);
        return chosen;
    }
    for (const std::string& address : choice.addresses) {
        const size_t before = chosen.size();
        for (const TrendSeries& series : log.Series()) {
            if (series.address == address) chosen.push_back(&series);
        }
        if (chosen.size() == before) {
            problem = "--tag " + address + ": the log has no tag at that address; it has " + AddressesOf(log);
            return {};
        }
    }
    return chosen;
}

// The log's name without its folder: the picture may be shown elsewhere.
std::string FileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string KiB(size_t bytes) {
    return std::to_string((bytes + 1023) / 1024) + " KB";
}

}  // namespace

std::string ReadTrendLog(std::istream& in, const std::string& name, TrendLog& log) {
    LogReader reader;
    LogRecord record;
    std::string chunk(kChunkBytes, '\0');
    std::string pending;  // a line the last chunk ended inside
    size_t lineNumber = 0;
    auto take = [&](std::string_view line, bool whole) -> std::string {
        ++lineNumber;
        const LogLine kind = reader.Parse(line, record);
        if (kind == LogLine::kRecord) log.Add(record);
        if (kind != LogLine::kBad || !whole) return "";
        return name + " line " + std::to_string(lineNumber) + ": " + reader.Problem();
    };
    while (in) {
        in.read(&chunk[0], static_cast<std::streamsize>(chunk.size()));
        const std::string_view got(chunk.data(), static_cast<size_t>(in.gcount()));
        size_t start = 0;
        for (size_t end = got.find('\n'); end != std::string_view::npos; end = got.find('\n', start)) {
            std::string problem;
            if (pending.empty()) {
                problem = take(got.substr(start, end - start), true);
            } else {
                pending.append(got.substr(start, end - start));
                problem = take(pending, true);
                pending.clear();
            }
            if (!problem.empty()) return problem;
            start = end + 1;
        }
        pending.append(got.substr(start));
    }
    if (!pending.empty()) take(pending, false);
    if (log.Records() == 0) {
        return name + " holds no records of korvel-poll's log (time,station,address,type,value,status)";
    }
    return "";
}

std::string ChoosePanels(const TrendLog& log, const PlotChoice& choice, TrendPicture& picture) {
    std::string problem;
    const std::vector<const TrendSeries*> chosen = ChooseSeries(log, choice, problem);
    if (!problem.empty()) return problem;
    picture.firstMs = log.FirstMs();
    picture.lastMs = log.LastMs();
    picture.records = 0;
    for (const TrendSeries* series : chosen) {
        TrendPanel panel;
        panel.title = TitleOf(*series, choice);
        panel.series = Thin(*series, picture.firstMs, picture.lastMs, kTrendColumns);
        panel.steps = series->bit;
        picture.records += series->samples.size();
        picture.panels.push_back(std::move(panel));
    }
    return "";
}

PlotOutcome PlotLog(const PollOptions& options) {
    PlotOutcome outcome;
    std::ifstream in(options.plotPath, std::ios::binary);
    if (!in) return {"cannot open the log '" + options.plotPath + "'", true, ""};
    TrendLog log;
    std::string problem = ReadTrendLog(in, options.plotPath, log);
    if (!problem.empty()) return {problem, true, ""};
    TrendPicture picture;
    picture.caption = FileName(options.plotPath);
    problem = ChoosePanels(log, {options.plotAddresses, options.tags, options.station}, picture);
    if (!problem.empty()) return {problem, true, ""};
    const std::string svg = TrendSvg(picture);
    std::ofstream out(options.outputPath, std::ios::binary | std::ios::trunc);
    if (!(out << svg) || !out.flush()) return {"cannot write the trend to '" + options.outputPath + "'", false, ""};
    outcome.summary = options.outputPath + ": " + TrendCounts(picture) + ", " + KiB(svg.size());
    return outcome;
}
