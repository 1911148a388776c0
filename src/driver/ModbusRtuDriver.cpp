#include "driver/ModbusRtuDriver.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "driver/FrameTrace.h"
#include "driver/ModuleSettings.h"
#include "line/ForeignFrames.h"
#include "line/LinkReconnect.h"
#include "line/LocalEcho.h"

namespace {

constexpr uint32_t kBitTypes = kTypeBit;
constexpr uint32_t kRegisterTypes = kTypeInt16 | kTypeUInt16 | kTypeBcd | kTypeUInt32 | kTypeFloat;
constexpr uint32_t kReadable = 1;
constexpr uint32_t kReadWrite = 3;

// The settings file's echo choices are the line's modes, in order.
static_assert(static_cast<int>(line::EchoMode::kOn) == static_cast<int>(modbus::EchoSetting::kOn) &&
                  static_cast<int>(line::EchoMode::kOff) == static_cast<int>(modbus::EchoSetting::kOff),
              "echo names the line's modes");

// What the host is told of each outcome: a code, and for the custom code
// its text. Indexed by modbus::Outcome.
struct HostError {
    int32_t code;
    const char* customText;
};

constexpr HostError kOutcomeErrors[] = {
    {kErrorNone, nullptr},        {kErrorRegister, nullptr},    {kErrorDataType, nullptr},
    {kErrorReadDevice, nullptr},  {kErrorWriteDevice, nullptr}, {kErrorCustom, kAcknowledgedWriteText},
};
static_assert(std::size(kOutcomeErrors) == static_cast<size_t>(modbus::Outcome::kWriteAcknowledged) + 1,
              "every outcome has its host error");

// What the line reports during one exchange, into the frame trace.
class LineTrace : public IExchangeObserver {
public:
    LineTrace(const char* sendLabel, std::string port) : m_sendLabel(sendLabel), m_port(std::move(port)) {}

    void OnSend(const std::string& request, int32_t length) override {
        AppendFrameTrace(m_sendLabel, reinterpret_cast<const uint8_t*>(request.data()), length);
    }
    void OnLateDiscarded(const std::string& bytes) override {
        AppendTraceEvent(modbus::LateReplyEvent(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    void OnEchoFound() override { AppendTraceEvent(line::EchoFoundEvent(m_port)); }
    void OnForeignFrames(uint32_t count) override { AppendTraceEvent(line::ForeignFramesEvent(m_port, count)); }
    void OnPortLost(const std::string& port, uint32_t code) override {
        AppendTraceEvent(line::LinkLostEvent(port, code));
    }
    void OnPortReopened(const std::string& port, uint64_t lostForMs) override {
        AppendTraceEvent(line::LinkReopenedEvent(port, lostForMs));
    }

private:
    const char* m_sendLabel;
    std::string m_port;  // the line's name, such as COM3
};

}  // namespace

CModbusRtuDriver::CModbusRtuDriver()
    : m_coilMap([this](uint32_t station) { return SettingsOf(station).bitLimits; }),
      m_discreteMap([this](uint32_t station) { return SettingsOf(station).bitLimits; }),
      m_inputWordMap([this](uint32_t station) { return SettingsOf(station).registerLimits; }),
      m_holdingWordMap([this](uint32_t station) { return SettingsOf(station).registerLimits; }),
      m_inputDWordMap([this](uint32_t station) { return SettingsOf(station).registerLimits; }),
      m_holdingDWordMap([this](uint32_t station) { return SettingsOf(station).registerLimits; }) {
    SetAreaRow(0, "0x", kBitTypes, kReadWrite);
    SetAreaRow(1, "1x", kBitTypes, kReadable);
    SetAreaRow(2, "3x", kRegisterTypes, kReadable);
    SetAreaRow(3, "4x", kRegisterTypes, kReadWrite);
    m_stationRule.SetRule(10, 1, 254);
}

CModbusRtuDriver::~CModbusRtuDriver() = default;

void CModbusRtuDriver::SetAreaRow(int index, const char* name, uint32_t typeMask, uint32_t access) {
    AreaDescriptor& row = m_areas[index];
    std::memcpy(row.name, name, std::strlen(name) + 1);
    row.access = access;
    row.typeMask1 = typeMask;
    row.typeMask2 = typeMask;
}

int32_t __stdcall CModbusRtuDriver::GetAreaTable(AreaDescriptor** areas, int16_t* count) {
    if (areas != nullptr) *areas = m_areas;
    if (count != nullptr) *count = 4;
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(m_areas));
}

int32_t CModbusRtuDriver::Record(modbus::Outcome outcome) {
    const HostError& error = kOutcomeErrors[static_cast<int>(outcome)];
    if (error.customText != nullptr) {
        m_error.SetCustomText(error.customText);
    } else {
        m_error.SetCode(error.code);
    }
    return error.code == kErrorNone;
}

// Nothing thrown while reading the settings file or opening the link, such
// as a memory shortage, reaches the host: Open just fails.
int32_t __stdcall CModbusRtuDriver::Open(DeviceSettings* settings) {
    try {
        return OpenWithSettings(settings);
    } catch (...) {
        m_error.SetCode(kErrorInitDevice);
        return 0;
    }
}

// The settings are loaded aside and taken only whole: a refused file leaves
// a running driver with what it had.
int32_t CModbusRtuDriver::OpenWithSettings(DeviceSettings* settings) {
    if (const std::string reason = LoadModuleSettings(m_settings); !reason.empty()) {
        AppendTraceEvent("Settings: " + reason);
        m_error.SetCode(kErrorInitDevice);
        return 0;
    }
    if (settings != nullptr && settings->link != nullptr) {
        m_settingsPort = settings->link->portIndex + 1;
        const modbus::StationSettings line = m_settings.For(m_settingsPort, modbus::kMinStation);
        m_requestGapMs = static_cast<uint32_t>(line.requestGapMs);
        m_silenceUs = static_cast<uint32_t>(line.silenceUs);
        m_lateReplyMaxMs = static_cast<uint32_t>(line.lateReplyMaxMs);
        m_echo = static_cast<line::EchoMode>(line.echo);
        m_reopen = {static_cast<uint32_t>(line.reopenMs), static_cast<uint32_t>(line.reopenMaxMs)};
        m_transport = line.transport;
        m_connectTimeoutMs = static_cast<uint32_t>(line.connectTimeoutMs);
        m_transactionCheck = line.transactionCheck;
        m_idleCloseMs = static_cast<uint32_t>(line.idleCloseMs);
        m_connectDelayMs = static_cast<uint32_t>(line.connectDelayMs);
        modbus::ParseEndpoint(line.endpoint, m_endpoint);
    }
    return CSerialDriverBase::Open(settings);
}

int32_t __stdcall CModbusRtuDriver::Close(int32_t ignored) {
    ForgetLearned();
    return CSerialDriverBase::Close(ignored);
}

int32_t __stdcall CModbusRtuDriver::CheckStation(const char* text, int32_t* station) {
    const int32_t ok = CSerialDriverBase::CheckStation(text, station);
    if (ok) m_checkedStation = static_cast<uint32_t>(*station);
    return ok;
}

// A parsed tag's item is remembered for the first reads of the station last
// checked, or of every station before any was; a memory shortage only costs
// that, not the parse.
int32_t __stdcall CModbusRtuDriver::ParseAddress(const char* text, TagAddress* tag) {
    const modbus::Outcome outcome = modbus::ParseAddress(text, tag);
    if (outcome == modbus::Outcome::kDone) {
        try {
            modbus::RememberParsedTag(Maps(), m_checkedStation, *tag);
        } catch (const std::bad_alloc&) {
        }
    }
    return Record(outcome);
}

// Running out of memory while caching or collecting a reply fails the one
// call, with the caches as they were; nothing is thrown at the host. While
// the line is lost every read fails at once; once it is back, nothing cached
// before the loss is handed out.
int32_t __stdcall CModbusRtuDriver::Read(const int32_t* station, const TagAddress* tag, TagValue* value) {
    if (!LineAvailable()) return Record(modbus::Outcome::kReadFailed);
    modbus::Outcome outcome;
    ForgetLearnedIfLineChanged();
    ForgetValuesIfLineLost();
    try {
        outcome = modbus::ReadTag(Maps(), *this, station, tag, value);
    } catch (const std::bad_alloc&) {
        outcome = modbus::Outcome::kReadFailed;
    }
    return Record(outcome);
}

int32_t __stdcall CModbusRtuDriver::Write(const int32_t* station, const TagAddress* tag, const TagValue* value) {
    if (!LineAvailable()) return Record(modbus::Outcome::kWriteFailed);
    ForgetValuesIfLineLost();
    modbus::Outcome outcome;
    try {
        outcome = modbus::WriteTag(Maps(), *this, station, tag, value);
    } catch (const std::bad_alloc&) {
        outcome = modbus::Outcome::kWriteFailed;
    }
    return Record(outcome);
}

modbus::LineResult CModbusRtuDriver::ExchangeReply(std::string& data, int32_t& length,
                                                   const modbus::ReplyShape& reply, const char* sendLabel) {
    if (m_line == nullptr) {
        data.clear();
        length = 0;
        return modbus::LineResult::kFailed;
    }
    LineTrace trace(sendLabel, "COM" + std::to_string(m_settingsPort));
    LineUse use = Use();
    use.unitId = SettingsOf(reply.station).unitId;
    const ExchangeResult result = m_line->ExchangeFramed(data, length, use, reply, &trace);
    switch (result) {
    case ExchangeResult::kReplied:
        return modbus::LineResult::kReplied;
    case ExchangeResult::kUnplaced:
        return modbus::LineResult::kUnplaced;
    case ExchangeResult::kNoReply:
        return modbus::LineResult::kNoReply;
    default:
        return modbus::LineResult::kFailed;
    }
}

// A driver without a line fails in its exchanges instead.
bool CModbusRtuDriver::LineAvailable() {
    LineTrace trace("", "COM" + std::to_string(m_settingsPort));
    return m_line == nullptr || m_line->Available(Use(), &trace);
}

void CModbusRtuDriver::TraceFrame(const char* label, const uint8_t* bytes, int32_t count) {
    AppendFrameTrace(label, bytes, count);
}

void CModbusRtuDriver::TraceEvent(const std::string& text) {
    AppendTraceEvent(text);
}

modbus::StationSettings CModbusRtuDriver::SettingsOf(uint32_t station) {
    return m_settings.For(m_settingsPort, static_cast<int32_t>(station));
}

// A driver without a line sends nothing anyway: its exchanges fail.
modbus::Admission CModbusRtuDriver::Admit(uint32_t station) {
    if (m_line == nullptr) return modbus::Admission::kSend;
    return m_line->Health().Admit(static_cast<uint8_t>(station), GetTickCount64);
}

modbus::HealthChange CModbusRtuDriver::CountReply(uint32_t station, bool replied,
                                                  const modbus::StationSettings& settings) {
    if (m_line == nullptr) return modbus::HealthChange::kNone;
    return m_line->Health().CountReply(static_cast<uint8_t>(station), replied, settings.demoteAfter,
                                       settings.demoteForMs, GetTickCount64);
}

uint64_t CModbusRtuDriver::NowMs() {
    return GetTickCount64();
}

void CModbusRtuDriver::Pause(uint32_t ms) {
    Sleep(ms);
}

void CModbusRtuDriver::ForgetLearnedIfLineChanged() {
    const uint64_t generation = m_line == nullptr ? 0 : m_line->FormatGeneration();
    if (generation == m_learnedUnderFormat) return;
    m_learnedUnderFormat = generation;
    ForgetLearned();
}

// Checked before every read and write, so that a loss another driver object
// of the line met empties this object's caches too.
void CModbusRtuDriver::ForgetValuesIfLineLost() {
    const uint64_t generation = m_line == nullptr ? 0 : m_line->LossGeneration();
    if (generation == m_seenLossGeneration) return;
    m_seenLossGeneration = generation;
    m_coilMap.ForgetValues();
    m_discreteMap.ForgetValues();
    m_inputWordMap.ForgetValues();
    m_holdingWordMap.ForgetValues();
    m_inputDWordMap.ForgetValues();
    m_holdingDWordMap.ForgetValues();
}

void CModbusRtuDriver::ForgetLearned() {
    m_coilMap.ForgetLearned();
    m_discreteMap.ForgetLearned();
    m_inputWordMap.ForgetLearned();
    m_holdingWordMap.ForgetLearned();
    m_inputDWordMap.ForgetLearned();
    m_holdingDWordMap.ForgetLearned();
}

modbus::StationMaps CModbusRtuDriver::Maps() {
    return {m_coilMap, m_discreteMap, m_inputWordMap, m_holdingWordMap, m_inputDWordMap, m_holdingDWordMap};
}
