#pragma once
// The values a panel's value axis is labelled at between its ends: round
// numbers a reader counts in (1, 2 or 5 times a power of ten apart), no
// closer on the axis than their labels need.
#include <vector>

// The multiples of the roundest step at least leastGap pixels long that lie
// within [low, high], lowest first, on an axis of the given pixels. None
// when the axis spans no values.
std::vector<double> RoundTicks(double low, double high, double pixels, double leastGap);
