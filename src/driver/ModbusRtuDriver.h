#pragma once
// The Modbus RTU driver: the area table, the six per-station cache maps,
// address parsing, read and write on top of the serial driver, and the
// settings of each station.
#include <functional>

#include "driver/SerialDriverBase.h"
#include "modbus/FrameExchange.h"
#include "modbus/StationMaps.h"
#include "modbus/TagOperations.h"

class CModbusRtuDriver : public CSerialDriverBase, private modbus::IFrameExchange {
public:
    CModbusRtuDriver();
    ~CModbusRtuDriver() override;

    int32_t __stdcall GetAreaTable(AreaDescriptor** areas, int16_t* count) override;
    int32_t __stdcall ParseAddress(const char* text, TagAddress* tag) override;
    int32_t __stdcall CheckStation(const char* text, int32_t* station) override;
    int32_t __stdcall Read(const int32_t* station, const TagAddress* tag, TagValue* value) override;
    int32_t __stdcall Write(const int32_t* station, const TagAddress* tag, const TagValue* value) override;

    using SettingsSource = std::function<modbus::StationSettings(uint32_t station)>;
    // Where the settings of each station come from; without a source every
    // station has the defaults. The block limits a station's caches plan
    // under are taken when its first read or write creates them.
    void SetSettingsSource(SettingsSource source);

private:
    modbus::LineResult ExchangeReply(std::string& data, int32_t& length, const modbus::ReplyShape& reply) override;
    // Records the host's code of outcome and returns 1 for success, else 0.
    int32_t Record(modbus::Outcome outcome);
    void TraceFrame(const char* label, const uint8_t* bytes, int32_t count) override;
    void TraceEvent(const std::string& text) override;
    modbus::StationSettings SettingsOf(uint32_t station) override;
    modbus::Admission Admit(uint32_t station) override;
    modbus::HealthChange CountReply(uint32_t station, bool replied, const modbus::StationSettings& settings) override;
    void SetAreaRow(int index, const char* name, uint32_t typeMask, uint32_t access);
    StationMaps Maps();

    AreaDescriptor m_areas[4];
    SettingsSource m_settingsSource;
    // The station a host checked last: the tags it parses next are taken
    // for that station's, as a host sets up a device's station and then
    // its tags.
    uint32_t m_checkedStation = BitStationMap::kAnyStation;
    BitStationMap m_coilMap;
    BitStationMap m_discreteMap;
    WordStationMap m_inputWordMap;
    WordStationMap m_holdingWordMap;
    DWordStationMap m_inputDWordMap;
    DWordStationMap m_holdingDWordMap;
};
