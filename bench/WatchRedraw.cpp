#include "WatchRedraw.h"

#include <map>
#include <string>

#include "DriverCycles.h"
#include "korvel-poll/DataTypes.h"
#include "korvel-poll/watch/VtFrame.h"
#include "korvel-poll/watch/WatchLayout.h"
#include "korvel-poll/watch/WatchTags.h"

namespace bench {
namespace {

constexpr uint32_t kCycleBaud = 115200;
// Enough frames for the mean to settle; a frame takes well under a
// millisecond.
constexpr int kFrames = 200;
constexpr ScreenSize kTallScreen = {200, 170};

std::vector<WatchTagName> NamesOf(const std::vector<BenchTag>& tags) {
    std::vector<WatchTagName> names;
    for (const BenchTag& tag : tags) {
        WatchTagName name;
        name.name = "tag-" + AddressText(tag);
        name.station = std::to_string(tag.station);
        name.address = AddressText(tag);
        name.type = DataTypeText(tag.dataType);
        name.bit = tag.dataType == kTypeBit;
        name.valueWidth = 10;
        names.push_back(name);
    }
    return names;
}

// Every tag read as many times as its trend keeps, its value moving, now
// and then a failure, so the frame has all there is to draw.
void FillTrends(WatchTags& watch) {
    for (size_t read = 0; read < WatchTags::kTrendLength; ++read) {
        for (size_t i = 0; i < watch.Size(); ++i) {
            const bool fails = (read + i) % 29 == 0;
            const WatchReading reading{!fails, std::to_string((read * 37 + i * 11) % 1000),
                                       fails ? "读设备错误! (error reading the device)" : "OK"};
            watch.Record(i, reading, read * 100);
        }
    }
}

}  // namespace

double MeasureWatchFrameMs(const std::vector<BenchTag>& tags) {
    WatchTags watch(NamesOf(tags));
    FillTrends(watch);
    std::map<int, StationFigures> stations;
    for (const BenchTag& tag : tags) stations[tag.station].requests += 1;
    WatchScreen screen;
    screen.heading.line = "COM3 115200 8N1";
    screen.heading.timeoutMs = 1000;
    size_t bytes = 0;
    Stopwatch stopwatch;
    for (int frame = 0; frame < kFrames; ++frame) {
        screen.rows = watch.Rows(5000);
        screen.stations = CountStations(stations);
        bytes += VtFrame({}, LayOutWatch(screen, kTallScreen, 0).lines).size();
    }
    const double ms = stopwatch.ElapsedMs() / kFrames;
    // The frames are used, so no compiler leaves their making out.
    return bytes > 0 ? ms : 0;
}

void PrintWatchFrame(std::FILE* out, size_t tags, double frameMs, const std::vector<Figures>& all) {
    std::fprintf(out, "\nkorvel-poll --watch: one frame of %zu tags laid out and rendered in %.3f ms", tags, frameMs);
    const Figures* driver = FindFigures(all, "driver", kCycleBaud);
    if (driver != nullptr && driver->medianMs > 0) {
        std::fprintf(out, ", %.2f %% of the driver's %.1f ms cycle at %u baud", 100.0 * frameMs / driver->medianMs,
                     driver->medianMs, kCycleBaud);
    }
    std::fprintf(out, "\n");
}

}  // namespace bench
