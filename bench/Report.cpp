#include "Report.h"

namespace bench {
namespace {

// The masters built for Windows measure some speeds only, and only where
// libmodbus's source could be had: their rows are left out where they
// have no figures.
struct MasterRow {
    const char* master;
    const char* label;
    bool always;
};

constexpr MasterRow kRows[] = {
    {"driver", "driver (Korvel.dll)", true},
    {"reference", "reference (libmodbus, a request per range)", true},
    {"naive", "naive (libmodbus, a request per tag)", true},
    {"reference-wine", "reference, built for Windows, under Wine", false},
    {"naive-wine", "naive, built for Windows, under Wine", false},
};

void PrintRow(std::FILE* out, const MasterRow& row, const Figures* figures) {
    if (figures == nullptr) {
        std::fprintf(out, "%-44s %9s %9s %9s %9s %9s\n", row.label, "-", "-", "-", "-", "-");
        return;
    }
    std::fprintf(out, "%-44s %9.1f %9.1f %9.1f %9.0f %9.1f", row.label, figures->medianMs, figures->p95Ms,
                 figures->requests, figures->bytes, figures->wireMs);
    if (figures->failedReads > 0) std::fprintf(out, "  (%d failed reads)", figures->failedReads);
    std::fprintf(out, "\n");
}

std::string Ratio(const Figures* top, double bottom) {
    if (top == nullptr || bottom <= 0) return "n/a";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", top->medianMs / bottom);
    return text;
}

std::string SpeedText(uint32_t baud) {
    return baud == kModbusTcp ? "Modbus TCP on 127.0.0.1" : std::to_string(baud) + " baud";
}

}  // namespace

void PrintReport(std::FILE* out, const std::string& setting, const std::vector<uint32_t>& bauds,
                 const std::vector<Figures>& all) {
    for (uint32_t baud : bauds) {
        std::fprintf(out, "\n%s, %s\n", SpeedText(baud).c_str(), setting.c_str());
        std::fprintf(out, "%-44s %9s %9s %9s %9s %9s\n", "per poll cycle", "median ms", "p95 ms", "requests",
                     "bytes", "wire ms");
        for (const MasterRow& row : kRows) {
            const Figures* figures = FindFigures(all, row.master, baud);
            if (row.always || figures != nullptr) PrintRow(out, row, figures);
        }
    }
    std::fprintf(out, "\n");
    for (uint32_t baud : bauds) {
        const Figures* driver = FindFigures(all, "driver", baud);
        const Figures* reference = FindFigures(all, "reference", baud);
        const Figures* referenceUnderWine = FindFigures(all, "reference-wine", baud);
        std::fprintf(out, "%s: driver/wire %s, driver/reference %s", SpeedText(baud).c_str(),
                     Ratio(driver, driver != nullptr ? driver->wireMs : 0).c_str(),
                     Ratio(driver, reference != nullptr ? reference->medianMs : 0).c_str());
        if (referenceUnderWine != nullptr) {
            std::fprintf(out, ", driver/reference under Wine %s", Ratio(driver, referenceUnderWine->medianMs).c_str());
        }
        std::fprintf(out, "\n");
    }
}

}  // namespace bench
