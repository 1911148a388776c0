#include "korvel-poll/SettingsReport.h"

#include "korvel-poll/Environment.h"
#include "modbus/SettingsFile.h"

namespace {

constexpr size_t kKeyWidth = 22;
constexpr size_t kValueWidth = 10;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Padded(const std::string& text, size_t width) {
    return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

// As the driver loads them at Open, for the module the tool loaded.
std::string LoadLikeTheDriver(const std::string& modulePath, modbus::SettingsFile& settings, std::ostream& out) {
    const modbus::SettingsSources sources{EnvironmentValue(modbus::kSettingsFileVariable), FolderOf(modulePath),
                                          EnvironmentValue(modbus::kSettingOverridesVariable)};
    bool found = false;
    const std::string problem = modbus::LoadSettings(sources, settings, found);
    out << "settings file: " << modbus::SettingsPath(sources)
        << (found || !sources.namedFile.empty() ? "" : " (not present)") << '\n';
    return problem;
}

}  // namespace

bool PrintStationSettings(const std::string& modulePath, int32_t port, int32_t station, std::ostream& out) {
    modbus::SettingsFile settings;
    const std::string problem = LoadLikeTheDriver(modulePath, settings, out);
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
