#pragma once
// The settings file parsed into its sections, and the settings they give a
// station. The text is read line by line:
//
//   [defaults]        every line and station
//   [COM3]            every station on COM3 (COM1..COM64)
//   [COM3:17]         station 17 on COM3 (1..254)
//   retries = 2       a key of SettingKeys.h, in the section above it
//
// ';' and '#' start a comment anywhere; blank lines, blanks around names
// and values, CRLF line ends and a UTF-8 byte order mark are fine. Section
// names, keys and word orders match whatever their case; numbers are
// decimal digits only, leading zeros allowed. A section may appear more than
// once and continues where it left off.
//
// A station gets the defaults, then [defaults], then its line's [COMn],
// then its own [COMn:s], then what a command line set, each overriding what
// it names. Line keys (request_gap_ms, silence_us, reopen_ms, reopen_max_ms,
// transport, endpoint, connect_timeout_ms) are refused in a station's
// section, so every station of a line gets the same value. Every line whose
// transport is a network one needs an endpoint, and a serial line takes none.
//
// A text that holds anything else (a key before the first section, an
// unknown section or key, a value out of range or of the wrong form, a key
// set twice in one section) is refused as a whole with the line and the
// reason: a bad file never changes a value.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "settings/SettingKeys.h"
#include "settings/StationSettings.h"

namespace modbus {

constexpr int32_t kMaxSettingsPort = 64;
constexpr int32_t kMinStation = 1;
constexpr int32_t kMaxStation = 254;

// Where an effective value came from, weakest first.
enum class SettingSource { kDefault, kDefaultsSection, kPortSection, kStationSection, kCommandLine };

struct SettingOrigin {
    SettingValue value;  // as SettingValueText shows it
    SettingSource source;
};
using SettingOrigins = std::array<SettingOrigin, kSettingCount>;

class SettingsFile {
public:
    // Empty when the whole text was taken, in place of what an earlier Load
    // took; otherwise "<fileName> line <n>: <reason>", and nothing changed.
    std::string Load(std::string_view text, std::string_view fileName);
    // One "key=value", as a command line gives it, stronger than every
    // section and checked as a file line is. Empty when taken; otherwise
    // "--set: <reason>", and nothing changed.
    std::string Override(std::string_view assignment);

    // port is the COM number (3 for COM3).
    StationSettings For(int32_t port, int32_t station) const;
    // Each key's effective value with the layer that gave it.
    SettingOrigins Origins(int32_t port, int32_t station) const;

    // A section's port and station, 0 where it names none: {0, 0} is
    // [defaults], {3, 0} is [COM3].
    using SectionId = std::pair<int32_t, int32_t>;
    // The values a section or the command line sets.
    using Layer = std::array<std::optional<SettingValue>, kSettingCount>;

private:
    std::map<SectionId, Layer> m_sections;
    Layer m_commandLine;
};

// Where the module finds its settings: the file the first variable names,
// else the file of that name beside the module. The assignments the second
// variable holds, separated by ';', override the file as --set does, so that
// a tool can try a setting without editing it.
constexpr const char* kSettingsFileVariable = "KORVEL_CONFIG";
constexpr const char* kSettingsFileName = "Korvel.ini";
constexpr const char* kSettingOverridesVariable = "KORVEL_SET";

// Overrides with every "key=value" of list, separated by ';'. Empty, or the
// reason the first refused one gives.
std::string OverrideAll(SettingsFile& settings, std::string_view list);

// Puts what the settings file's text (none where there is no file) and the
// overrides give in place of settings, when every line's transport has the
// endpoint it needs and no other. Returns an empty text, or why they
// were not taken, naming the file as fileName: then settings are as they
// were, so a refused file never changes what a running driver uses.
std::string LoadSettings(std::optional<std::string_view> fileText, std::string_view fileName,
                         std::string_view overrides, SettingsFile& settings);

// "default", "[defaults]", "[COM3]", "[COM3:17]" or "--set".
std::string SourceText(SettingSource source, int32_t port, int32_t station);

}  // namespace modbus
