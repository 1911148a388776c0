// Settings texts: the input's first byte is a port and the second a station,
// both reaching past their ranges; the third is the length of a command-line
// override that follows; the rest is the file's text. A text is taken or
// refused whole: refused, it names the file and a line in printable text and
// leaves what an earlier text loaded. Taken or not, every value lies in its
// range and a line key never comes from a station's section. A BOM and CRLF
// line ends change nothing; an override changes one key or none.
#include <string>

#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "settings/SettingsFile.h"

namespace {

using modbus::SettingOrigins;
using modbus::SettingsFile;
using modbus::SettingSource;

constexpr char kEarlierText[] = "[defaults]\nword_order = ABCD\n[COM3:17]\nretries = 4\n";

bool Printable(const std::string& text) {
    for (char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

bool Same(const SettingOrigins& a, const SettingOrigins& b) {
    for (size_t key = 0; key < a.size(); ++key) {
        if (a[key].value != b[key].value || a[key].source != b[key].source) return false;
    }
    return true;
}

// Every value in its range or the default a key names by a word, every text
// one its key takes; a line key from no station's section.
void CheckEffective(const SettingOrigins& origins) {
    for (size_t key = 0; key < origins.size(); ++key) {
        const modbus::SettingRule& rule = modbus::kSettingRules[key];
        const modbus::SettingValue& value = origins[key].value;
        const bool namedDefault = rule.defaultName != nullptr && value.number == rule.defaultValue;
        FUZZ_CHECK(namedDefault || (value.number >= rule.min && value.number <= rule.max));
        FUZZ_CHECK(rule.checkText == nullptr ? value.text.empty()
                                             : value.text.empty() || rule.checkText(value.text).empty());
        FUZZ_CHECK(rule.scope == modbus::SettingScope::kStation ||
                   origins[key].source != SettingSource::kStationSection);
    }
}

// The same text with a byte order mark and CRLF line ends.
std::string AsWindowsWrites(const std::string& text) {
    std::string windows = "\xEF\xBB\xBF";
    for (char c : text) windows += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return windows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int32_t port = input.Byte() % 67;
    const int32_t station = input.Byte();
    const std::string assignment = input.Bytes(input.Byte());
    const std::string text = input.Rest();

    SettingsFile settings;
    FUZZ_CHECK(settings.Load(kEarlierText, "earlier.ini").empty());
    const SettingOrigins earlier = settings.Origins(port, station);
    const std::string reason = settings.Load(text, "Korvel.ini");
    const SettingOrigins loaded = settings.Origins(port, station);
    FUZZ_CHECK(reason.empty() || (reason.rfind("Korvel.ini line ", 0) == 0 && Printable(reason)));
    FUZZ_CHECK(reason.empty() || Same(loaded, earlier));
    CheckEffective(loaded);

    if (text.find('\r') == std::string::npos && text.rfind("\xEF\xBB\xBF", 0) != 0) {
        SettingsFile windows;
        FUZZ_CHECK(windows.Load(AsWindowsWrites(text), "Korvel.ini") == reason);
        FUZZ_CHECK(!reason.empty() || Same(windows.Origins(port, station), loaded));
    }

    const std::string refused = settings.Override(assignment);
    const SettingOrigins overridden = settings.Origins(port, station);
    FUZZ_CHECK(refused.empty() || (refused.rfind("--set: ", 0) == 0 && Printable(refused)));
    size_t changed = 0;
    for (size_t key = 0; key < overridden.size(); ++key) {
        const bool overrides = overridden[key].source == SettingSource::kCommandLine;
        changed += overrides;
        FUZZ_CHECK(overrides || overridden[key].value == loaded[key].value);
    }
    FUZZ_CHECK(changed == (refused.empty() ? 1u : 0u));
    CheckEffective(overridden);
    return 0;
}
