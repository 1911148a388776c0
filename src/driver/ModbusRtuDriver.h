#pragma once
// The Modbus RTU driver: the area table, the six per-station cache maps,
// address parsing, read and write on top of the serial driver, and the
// settings of each station.
#include "driver/SerialDriverBase.h"
#include "settings/SettingsFile.h"
#include "tags/FrameExchange.h"
#include "tags/StationMaps.h"
#include "tags/TagOperations.h"

class CModbusRtuDriver : public CSerialDriverBase, private modbus::IFrameExchange {
public:
    CModbusRtuDriver();
    ~CModbusRtuDriver() override;

    int32_t __stdcall GetAreaTable(AreaDescriptor** areas, int16_t* count) override;
    int32_t __stdcall ParseAddress(const char* text, TagAddress* tag) override;
    int32_t __stdcall CheckStation(const char* text, int32_t* station) override;
    int32_t __stdcall Read(const int32_t* station, const TagAddress* tag, TagValue* value) override;
    int32_t __stdcall Write(const int32_t* station, const TagAddress* tag, const TagValue* value) override;

    // Reads the settings file before the link: a file that cannot be taken
    // fails Open with code 1, its reason in the frame trace, and nothing is
    // opened or sent. The block limits a station's caches plan under are
    // taken when its first read or write creates them.
    int32_t __stdcall Open(DeviceSettings* settings) override;
    // What the caches learned of the devices is forgotten: the next Open may
    // lead to other devices.
    int32_t __stdcall Close(int32_t ignored) override;

private:
    int32_t OpenWithSettings(DeviceSettings* settings);
    modbus::LineResult ExchangeReply(std::string& data, int32_t& length, const modbus::ReplyShape& reply,
                                     const char* sendLabel) override;
    // Records the host's code of outcome and returns 1 for success, else 0.
    int32_t Record(modbus::Outcome outcome);
    // Whether the line's port is there; while it is lost, opens it again
    // when an attempt is due.
    bool LineAvailable();
    void TraceFrame(const char* label, const uint8_t* bytes, int32_t count) override;
    void TraceEvent(const std::string& text) override;
    modbus::StationSettings SettingsOf(uint32_t station) override;
    modbus::Admission Admit(uint32_t station) override;
    modbus::HealthChange CountReply(uint32_t station, bool replied, const modbus::StationSettings& settings) override;
    uint64_t NowMs() override;
    void Pause(uint32_t ms) override;
    // The caches' learned splits and pending failures hold for the line
    // format they were learned under; any user of the line may change it.
    void ForgetLearnedIfLineChanged();
    void ForgetValuesIfLineLost();
    void ForgetLearned();
    void SetAreaRow(int index, const char* name, uint32_t typeMask, uint32_t access);
    modbus::StationMaps Maps();

    AreaDescriptor m_areas[4];
    modbus::SettingsFile m_settings;
    int32_t m_settingsPort = 0;  // the COM number whose sections apply
    // The station a host checked last: the tags it parses next are taken
    // for that station's, as a host sets up a device's station and then
    // its tags.
    uint32_t m_checkedStation = modbus::BitStationMap::kAnyStation;
    uint64_t m_learnedUnderFormat = 0;  // the line's format generation
    uint64_t m_seenLossGeneration = 0;  // the line's loss generation the caches hold values of
    modbus::BitStationMap m_coilMap;
    modbus::BitStationMap m_discreteMap;
    modbus::WordStationMap m_inputWordMap;
    modbus::WordStationMap m_holdingWordMap;
    modbus::DWordStationMap m_inputDWordMap;
    modbus::DWordStationMap m_holdingDWordMap;
};
