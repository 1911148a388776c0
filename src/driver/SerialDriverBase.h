#pragma once
// The protocol-neutral serial driver: settings, error state, the serial line
// it uses, station rule, link open and close.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "driver/DriverError.h"
#include "driver/IDeviceDriver.h"
#include "driver/NumberRule.h"
#include "line/Line.h"
#include "settings/NetworkEndpoint.h"
#include "settings/SettingKeys.h"

class CSerialPort;

class CSerialDriverBase : public IDeviceDriver {
public:
    CSerialDriverBase();

    HRESULT __stdcall QueryInterface(REFIID iid, void** object) override;
    ULONG __stdcall AddRef() override;
    ULONG __stdcall Release() override;
    int32_t __stdcall Initialize(int32_t value) override;
    int32_t __stdcall Open(DeviceSettings* settings) override;
    int32_t __stdcall GetAreaTable(AreaDescriptor** areas, int16_t* count) override;
    int32_t __stdcall ParseAddress(const char* text, TagAddress* tag) override;
    int32_t __stdcall CheckStation(const char* text, int32_t* station) override;
    int32_t __stdcall Read(const int32_t* station, const TagAddress* tag, TagValue* value) override;
    int32_t __stdcall Write(const int32_t* station, const TagAddress* tag, const TagValue* value) override;
    int32_t __stdcall Close(int32_t ignored) override;
    const char* __stdcall GetErrorText() override;

    // Byte offset of this interface object inside the COM object that owns it.
    virtual ptrdiff_t GetOuterOffset() = 0;
    virtual ~CSerialDriverBase();

    // The COM object hands the driver the port of its first line right after
    // construction; a driver without one opens nothing.
    void AttachPort(std::unique_ptr<CSerialPort> port);

protected:
    // What this object's settings ask of each exchange on its line.
    LineUse Use() const {
        LineUse use{m_rtsControl, m_responseTimeout, m_requestGapMs, m_silenceUs, m_reopen, m_lateReplyMaxMs};
        use.echo = m_echo;
        return use;
    }

    CNumberRule m_stationRule;
    AreaDescriptor* m_areaList = nullptr;
    int32_t m_rtsControl = 0;
    // Shared with every driver object that adopted the same link. Until the
    // first Open, and after a Close, a serial line of this object's own whose
    // port is closed.
    std::shared_ptr<CLine> m_line;
    CDriverError m_error;
    uint32_t m_responseTimeout = 0xFFFFFFFF;
    // Extra silence before each request, for slow devices on the line.
    uint32_t m_requestGapMs = 0;
    // The silence before each request; 0: the line format's own.
    uint32_t m_silenceUs = 0;
    // How long an unanswered request's reply may still come; 0: ten
    // response time-outs.
    uint32_t m_lateReplyMaxMs = 0;
    // Whether the line's requests come back before their replies.
    line::EchoMode m_echo = line::EchoMode::kAuto;
    // How often a lost port or connection of the line is tried again.
    line::ReconnectTiming m_reopen{
        static_cast<uint32_t>(modbus::kSettingRules[modbus::kReopenMs].defaultValue),
        static_cast<uint32_t>(modbus::kSettingRules[modbus::kReopenMaxMs].defaultValue)};
    // How the line the next Open opens reaches its devices.
    modbus::Transport m_transport = modbus::Transport::kSerial;
    modbus::NetworkEndpoint m_endpoint;
    uint32_t m_connectTimeoutMs = 0;
    modbus::TransactionCheck m_transactionCheck = modbus::TransactionCheck::kAuto;
    uint32_t m_idleCloseMs = 0;
    uint32_t m_connectDelayMs = 0;

private:
    // Link sharing (driver/LinkOpen.cpp).
    int32_t AdoptLink(std::shared_ptr<CLine> line, const LinkParameters& link);
    int32_t OpenLink(DeviceSettings& settings, const LinkParameters& link);
    int32_t OpenNetworkLink(DeviceSettings& settings, const LinkParameters& link);
    void LeaveLink();
};
