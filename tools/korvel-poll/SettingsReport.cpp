#include "korvel-poll/SettingsReport.h"

#include <fstream>
#include <iterator>

#include "korvel-poll/Environment.h"
#include "modbus/SettingsFile.h"

namespace {

constexpr size_t kKeyWidth = 22;
constexpr size_t kValueWidth = 10;

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (file) text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return static_cast<bool>(file);
}

std::string Padded(const std::string& text, size_t width) {
    return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

// The driver's order at Open: the named file, which must be there, or the
// optional one beside the module; then the overrides.
std::string LoadLikeTheDriver(const std::string& modulePath, modbus::SettingsFile& settings, std::ostream& out) {
    const std::string named = EnvironmentValue(modbus::kSettingsFileVariable);
    const std::string path = named.empty() ? FolderOf(modulePath) + modbus::kSettingsFileName : named;
    std::string text;
    const bool found = ReadWholeFile(path, text);
    out << "settings file: " << path << (found || !named.empty() ? "" : " (not present)") << '\n';
    if (found) {
        std::string problem = settings.Load(text, path);
        if (!problem.empty()) return problem;
    } else if (!named.empty()) {
        return path + ": cannot be read (named by " + modbus::kSettingsFileVariable + ")";
    }
    return modbus::OverrideAll(settings, EnvironmentValue(modbus::kSettingOverridesVariable));
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
