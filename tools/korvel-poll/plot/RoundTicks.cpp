#include "korvel-poll/plot/RoundTicks.h"

#include <cmath>

namespace {

// The smallest of 1, 2 and 5 times a power of ten that is at least least.
double RoundStep(double least) {
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= least) return factor * power;
    }
    return 10 * power;
}

}  // namespace

std::vector<double> RoundTicks(double low, double high, double pixels, double leastGap) {
    std::vector<double> ticks;
    if (!(high > low) || !(pixels > 0) || !std::isfinite(high - low)) return ticks;
    const double step = RoundStep((high - low) * leastGap / pixels);
    // A tick at an end computed a rounding off it is still on the axis.
    const double slack = step * 1e-9;
    for (double k = std::ceil((low - slack) / step); k * step <= high + slack; ++k) {
        // k times the step, not a running sum: 0.1 added thrice is not 0.3,
        // and a tick at 0 stays 0, not -0.
        ticks.push_back(k == 0 ? 0.0 : k * step);
    }
    return ticks;
}
