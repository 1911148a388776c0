#include "AnsweringDevices.h"

namespace bench {
namespace {

double MedianOn(const std::vector<Figures>& all, const std::string& master, const AnsweringDevice& device) {
    const Figures* figures = FindFigures(all, MasterOnDevice(master, device), kAnsweringBaud);
    return figures == nullptr || figures->failedReads > 0 ? -1 : figures->medianMs;
}

void PrintMs(std::FILE* out, double ms) {
    if (ms < 0) {
        std::fprintf(out, " %12s", "-");
    } else {
        std::fprintf(out, " %12.1f", ms);
    }
}

void PrintRatio(std::FILE* out, double numerator, double denominator) {
    if (numerator < 0 || denominator <= 0) {
        std::fprintf(out, " %12s", "n/a");
    } else {
        std::fprintf(out, " %12.2f", numerator / denominator);
    }
}

}  // namespace

std::string MasterOnDevice(const std::string& master, const AnsweringDevice& device) {
    return master + "@" + device.name;
}

void PrintAnsweringDevices(std::FILE* out, const std::vector<Figures>& all, const std::vector<double>& longestRestMs) {
    const AnsweringDevice& steady = kAnsweringDevices[0];
    const AnsweringDevice& varying = kAnsweringDevices[1];
    std::fprintf(out, "\nthe plant at %u baud on a device that answers in 40 ms, and in 10 to 70 ms at random;"
                      " median cycle in ms\n", kAnsweringBaud);
    std::fprintf(out, "%-24s %12s %12s %12s\n", "master", "40 ms", "10 to 70 ms", "varying/40");
    for (const char* master : {"driver", "reference"}) {
        const double steadyMs = MedianOn(all, master, steady);
        const double varyingMs = MedianOn(all, master, varying);
        std::fprintf(out, "%-24s", master);
        PrintMs(out, steadyMs);
        PrintMs(out, varyingMs);
        PrintRatio(out, varyingMs, steadyMs);
        std::fprintf(out, "\n");
    }
    std::fprintf(out, "%-24s", "driver/reference");
    PrintRatio(out, MedianOn(all, "driver", steady), MedianOn(all, "reference", steady));
    PrintRatio(out, MedianOn(all, "driver", varying), MedianOn(all, "reference", varying));
    std::fprintf(out, "\n%-24s", "driver's longest rest");
    for (double restMs : longestRestMs) PrintMs(out, restMs);
    std::fprintf(out, "\n(an exchange's time beyond its frames and the device's slowest answer: any wait behind a"
                      " reply shows here)\n");
}

}  // namespace bench
