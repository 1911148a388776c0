#include "korvel-poll/reports/SettingsReport.h"

#include "driver/ModuleSettings.h"

namespace {

constexpr size_t kKeyWidth = 22;
constexpr size_t kValueWidth = 10;

std::string Padded(const std::string& text, size_t width) {
    return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

// With the driver's own loader, for the module the tool loaded.
std::string LoadLikeTheDriver(HMODULE module, modbus::SettingsFile& settings, std::ostream& out) {
    SettingsLookup lookup;
    const std::string problem = LoadModuleSettings(module, settings, lookup);
    if (!lookup.path.empty()) {
        out << "settings file: " << lookup.path << (lookup.found || lookup.named ? "" : " (not present)") << '\n';
    }
    return problem;
}

}  // namespace

bool PrintStationSettings(HMODULE module, int32_t port, int32_t station, std::ostream& out) {
    modbus::SettingsFile settings;
    const std::string problem = LoadLikeTheDriver(module, settings, out);
    if (!problem.empty()) {
        out << "  refused, Open would fail: " << problem << '\n';
        return false;
    }
    if (port == 0) return true;
    out << "settings of COM" << port << " station " << station << ":\n";
    const modbus::SettingOrigins origins = settings.Origins(port, station);
    for (int32_t key = 0; key < modbus::kSettingCount; ++key) {
        const modbus::SettingOrigin& origin = origins[key];
        out << "  " << Padded(modbus::kSettingRules[key].name, kKeyWidth)
            << Padded(modbus::SettingValueText(static_cast<modbus::SettingKey>(key), origin.value), kValueWidth)
            << modbus::SourceText(origin.source, port, station) << '\n';
    }
    return true;
}
