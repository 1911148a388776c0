#include "Figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace bench {
namespace {

// The value below which the given share of the sorted samples lies.
double Percentile(const std::vector<double>& sorted, double share) {
    if (sorted.empty()) return 0;
    const size_t rank = static_cast<size_t>(std::ceil(share * static_cast<double>(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

double Median(const std::vector<double>& sorted) {
    if (sorted.empty()) return 0;
    const size_t middle = sorted.size() / 2;
    return sorted.size() % 2 != 0 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

}  // namespace

double MedianOf(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return Median(samples);
}

const Figures* FindFigures(const std::vector<Figures>& all, const std::string& master, uint32_t baud) {
    for (const Figures& figures : all) {
        if (figures.master == master && figures.baud == baud) return &figures;
    }
    return nullptr;
}

Figures Summarise(std::string master, uint32_t baud, std::vector<double> cycleMs,
                  const std::vector<ExchangeBytes>& exchanges, int failedReads) {
    Figures figures;
    figures.master = std::move(master);
    figures.baud = baud;
    figures.cycles = static_cast<int>(cycleMs.size());
    figures.failedReads = failedReads;
    std::sort(cycleMs.begin(), cycleMs.end());
    figures.medianMs = Median(cycleMs);
    figures.p95Ms = Percentile(cycleMs, 0.95);
    if (cycleMs.empty()) return figures;
    const double cycles = static_cast<double>(cycleMs.size());
    double bytes = 0;
    for (const ExchangeBytes& exchange : exchanges) bytes += exchange.request + exchange.reply;
    figures.requests = static_cast<double>(exchanges.size()) / cycles;
    figures.bytes = bytes / cycles;
    figures.wireMs = WireMs(exchanges, baud) / cycles;
    return figures;
}

std::string FormatFigures(const Figures& figures) {
    char line[256];
    std::snprintf(line, sizeof line, "figures %s %u %d %d %.3f %.3f %.3f %.3f %.3f", figures.master.c_str(),
                  figures.baud, figures.cycles, figures.failedReads, figures.medianMs, figures.p95Ms,
                  figures.requests, figures.bytes, figures.wireMs);
    return line;
}

bool ParseFigures(const std::string& line, Figures& figures) {
    std::istringstream words(line);
    std::string tag;
    Figures parsed;
    words >> tag >> parsed.master >> parsed.baud >> parsed.cycles >> parsed.failedReads >> parsed.medianMs >>
        parsed.p95Ms >> parsed.requests >> parsed.bytes >> parsed.wireMs;
    if (!words || tag != "figures") return false;
    figures = parsed;
    return true;
}

}  // namespace bench
