#include "settings/SettingsFile.h"

#include <algorithm>

#include "settings/SettingsText.h"

namespace modbus {
namespace {

using SectionId = SettingsFile::SectionId;
using Layer = SettingsFile::Layer;
using Sections = std::map<SectionId, Layer>;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr SectionId kDefaultsSection{0, 0};

// Takes the first line off text, without its line end.
std::string_view TakeLine(std::string_view& text) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::string SectionText(SectionId id) {
    if (id == kDefaultsSection) return "[defaults]";
    const std::string port = "[COM" + std::to_string(id.first);
    return id.second == 0 ? port + "]" : port + ":" + std::to_string(id.second) + "]";
}

std::string PortRange() {
    return "COM1..COM" + std::to_string(kMaxSettingsPort);
}

std::string StationRange() {
    return std::to_string(kMinStation) + ".." + std::to_string(kMaxStation);
}

// The name between the brackets, blanks trimmed.
std::string ParseSectionName(std::string_view name, SectionId& id) {
    if (SameIgnoringCase(name, "defaults")) {
        id = kDefaultsSection;
        return {};
    }
    const bool com = SameIgnoringCase(name.substr(0, 3), "com");
    const std::string_view numbers = com ? name.substr(3) : std::string_view();
    const size_t colon = numbers.find(':');
    const std::string_view port = numbers.substr(0, colon);
    const std::string_view station = colon == std::string_view::npos ? "0" : numbers.substr(colon + 1);
    if (!com || !IsDecimalText(port) || !IsDecimalText(station)) {
        return "[" + Shown(name) + "] is not a section; accepted: [defaults], [COMn] and [COMn:s] for " +
               PortRange() + " and station s " + StationRange();
    }
    if (!ParseDecimalText(port, 1, kMaxSettingsPort, id.first)) {
        return "COM" + Shown(port) + " is outside " + PortRange();
    }
    id.second = 0;
    if (colon != std::string_view::npos && !ParseDecimalText(station, kMinStation, kMaxStation, id.second)) {
        return "station " + Shown(station) + " is outside " + StationRange();
    }
    return {};
}

std::string ParseAssignment(std::string_view text, SettingKey& key, SettingValue& value) {
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) return "expected key = value or a [section], not " + Shown(text);
    return ParseSetting(TrimBlanks(text.substr(0, equals)), TrimBlanks(text.substr(equals + 1)), key, value);
}

// The lines of one text in order, with what their sections set so far.
class FileParser {
public:
    explicit FileParser(Sections& sections) : m_sections(sections) {}

    std::string ParseLine(std::string_view line, size_t number) {
        line = TrimBlanks(WithoutComment(line));
        if (line.empty()) return {};
        if (line.front() == '[') return OpenSection(line);
        return Assign(line, number);
    }

private:
    std::string OpenSection(std::string_view line) {
        if (line.back() != ']') return "a section line ends with ], not " + Shown(line);
        SectionId id;
        std::string reason = ParseSectionName(TrimBlanks(line.substr(1, line.size() - 2)), id);
        if (reason.empty()) m_section = id;
        return reason;
    }

    std::string Assign(std::string_view line, size_t number) {
        if (!m_section) return Shown(line) + " comes before the first section";
        SettingKey key;
        SettingValue value;
        std::string reason = ParseAssignment(line, key, value);
        if (!reason.empty()) return reason;
        const std::string name = kSettingRules[key].name;
        if (kSettingRules[key].scope == SettingScope::kLine && m_section->second != 0) {
            return name + " is the same for a whole line: set it in [defaults] or " +
                   SectionText({m_section->first, 0}) + ", not in " + SectionText(*m_section);
        }
        auto [first, isFirst] = m_lines.emplace(std::make_pair(*m_section, key), number);
        if (!isFirst) {
            return name + " is set twice in " + SectionText(*m_section) + " (first in line " +
                   std::to_string(first->second) + ")";
        }
        m_sections[*m_section][key] = value;
        return {};
    }

    Sections& m_sections;
    std::optional<SectionId> m_section;
    std::map<std::pair<SectionId, SettingKey>, size_t> m_lines;  // where each key was set
};

void Apply(SettingOrigins& origins, const Layer& layer, SettingSource source) {
    for (size_t key = 0; key < origins.size(); ++key) {
        if (layer[key]) origins[key] = {*layer[key], source};
    }
}

uint32_t Limit(const SettingOrigin& origin) {
    return static_cast<uint32_t>(origin.value.number);
}

// Empty when the port's transport has the endpoint it needs and no other;
// otherwise why not, naming the section that set the endpoint or transport.
std::string CheckTransport(const SettingsFile& settings, int32_t port) {
    const SettingOrigins origins = settings.Origins(port, 0);
    const SettingOrigin& transport = origins[kTransport];
    const SettingOrigin& endpoint = origins[kEndpoint];
    const std::string line = "COM" + std::to_string(port);
    const bool serial = transport.value.number == static_cast<int32_t>(Transport::kSerial);
    if (!serial && endpoint.value.text.empty()) {
        return line + " has transport = " + SettingValueText(kTransport, transport.value) + " from " +
               SourceText(transport.source, port, 0) + " but no endpoint; accepted: " + kEndpointForm;
    }
    if (serial && !endpoint.value.text.empty()) {
        return line + " has endpoint = " + endpoint.value.text + " from " + SourceText(endpoint.source, port, 0) +
               " but transport = serial; an endpoint needs rtu-over-tcp or modbus-tcp";
    }
    return {};
}

std::string CheckTransports(const SettingsFile& settings, std::string_view fileName) {
    for (int32_t port = 1; port <= kMaxSettingsPort; ++port) {
        if (std::string reason = CheckTransport(settings, port); !reason.empty()) {
            return std::string(fileName) + ": " + reason;
        }
    }
    return {};
}

}  // namespace

std::string SettingsFile::Load(std::string_view text, std::string_view fileName) {
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    Sections sections;
    FileParser parser(sections);
    for (size_t number = 1; !text.empty(); ++number) {
        const std::string reason = parser.ParseLine(TakeLine(text), number);
        if (!reason.empty()) return std::string(fileName) + " line " + std::to_string(number) + ": " + reason;
    }
    m_sections = std::move(sections);
    return {};
}

std::string SettingsFile::Override(std::string_view assignment) {
    SettingKey key;
    SettingValue value;
    std::string reason = ParseAssignment(TrimBlanks(WithoutComment(assignment)), key, value);
    if (reason.empty() && m_commandLine[key]) reason = std::string(kSettingRules[key].name) + " is set twice";
    if (!reason.empty()) return "--set: " + reason;
    m_commandLine[key] = value;
    return {};
}

SettingOrigins SettingsFile::Origins(int32_t port, int32_t station) const {
    SettingOrigins origins;
    for (size_t key = 0; key < origins.size(); ++key) {
        origins[key] = {{kSettingRules[key].defaultValue, {}}, SettingSource::kDefault};
    }
    const auto applySection = [&](SectionId id, SettingSource source) {
        auto found = m_sections.find(id);
        if (found != m_sections.end()) Apply(origins, found->second, source);
    };
    applySection(kDefaultsSection, SettingSource::kDefaultsSection);
    // A port or station of 0 is none: it would find a weaker section again.
    if (port > 0) {
        applySection({port, 0}, SettingSource::kPortSection);
        if (station > 0) applySection({port, station}, SettingSource::kStationSection);
    }
    Apply(origins, m_commandLine, SettingSource::kCommandLine);
    return origins;
}

StationSettings SettingsFile::For(int32_t port, int32_t station) const {
    const SettingOrigins origins = Origins(port, station);
    StationSettings settings;
    settings.wordOrder = static_cast<WordOrder>(origins[kWordOrder].value.number);
    settings.writeFunctions = static_cast<WriteFunctions>(origins[kWriteFunction].value.number);
    settings.retries = origins[kRetries].value.number;
    settings.timeoutRetries = origins[kTimeoutRetries].value.number;
    settings.busyRetryMs = origins[kBusyRetryMs].value.number;
    settings.demoteAfter = origins[kDemoteAfter].value.number;
    settings.demoteForMs = origins[kDemoteForMs].value.number;
    settings.requestGapMs = origins[kRequestGapMs].value.number;
    settings.silenceUs = origins[kSilenceUs].value.number;
    settings.reopenMs = origins[kReopenMs].value.number;
    settings.reopenMaxMs = origins[kReopenMaxMs].value.number;
    settings.transport = static_cast<Transport>(origins[kTransport].value.number);
    settings.endpoint = origins[kEndpoint].value.text;
    settings.connectTimeoutMs = origins[kConnectTimeoutMs].value.number;
    settings.lateReplyMaxMs = origins[kLateReplyMaxMs].value.number;
    settings.transactionCheck = static_cast<TransactionCheck>(origins[kTransactionCheck].value.number);
    settings.idleCloseMs = origins[kIdleCloseMs].value.number;
    settings.connectDelayMs = origins[kConnectDelayMs].value.number;
    settings.unitId = origins[kUnitId].value.number;
    settings.echo = origins[kEcho].value.number;
    settings.registerLimits = {Limit(origins[kMaxBlockRegisters]), Limit(origins[kMaxGapRegisters])};
    settings.bitLimits = {Limit(origins[kMaxBlockBits]), Limit(origins[kMaxGapBits])};
    settings.relearnMs = origins[kRelearnMs].value.number;
    return settings;
}

std::string OverrideAll(SettingsFile& settings, std::string_view list) {
    while (!list.empty()) {
        const size_t end = std::min(list.find(';'), list.size());
        const std::string_view assignment = TrimBlanks(list.substr(0, end));
        if (!assignment.empty()) {
            if (std::string reason = settings.Override(assignment); !reason.empty()) return reason;
        }
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return {};
}

std::string LoadSettings(std::optional<std::string_view> fileText, std::string_view fileName,
                         std::string_view overrides, SettingsFile& settings) {
    SettingsFile loaded;
    std::string reason = fileText ? loaded.Load(*fileText, fileName) : std::string();
    if (reason.empty()) reason = OverrideAll(loaded, overrides);
    if (reason.empty()) reason = CheckTransports(loaded, fileName);
    if (reason.empty()) settings = std::move(loaded);
    return reason;
}

std::string SourceText(SettingSource source, int32_t port, int32_t station) {
    switch (source) {
    case SettingSource::kDefault: return "default";
    case SettingSource::kDefaultsSection: return SectionText(kDefaultsSection);
    case SettingSource::kPortSection: return SectionText({port, 0});
    case SettingSource::kStationSection: return SectionText({port, station});
    case SettingSource::kCommandLine: return "--set";
    }
    return {};
}

}  // namespace modbus
