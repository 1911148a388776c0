#pragma once
// The protocol-neutral serial driver: settings, error state, serial port,
// station rule, link open and close, and the request-response exchanges.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "driver/DriverError.h"
#include "driver/IDeviceDriver.h"
#include "driver/NumberRule.h"

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

    // Request in data[0..length) on entry, reply and its length on return.
    // Bytes of value zero are data: length, not a terminator, gives the size.
    virtual int ExchangeByEvent(std::string& data, int32_t& length, const uint32_t* responseTimeout,
                                const uint32_t* writeTimeout);
    virtual int ExchangePolled(std::string& data, int32_t& length, const void* unused1, const void* unused2);
    virtual int ExchangePolledBulk(std::string& data, int32_t& length, const void* unused1,
                                   const void* unused2);

    // The fewest bytes a reply still needs before it is complete, given the
    // bytes received so far; 0 once it is.
    using ReplyNeed = std::function<uint32_t(const std::string& received)>;
    // The exchange Read and Write use: the reply ends the moment need finds
    // it complete, when the line falls quiet for the end-of-frame silence of
    // the port's speed, or, with nothing received, at m_responseTimeout.
    // Codes and results are those of ExchangePolled.
    int ExchangeFramed(std::string& data, int32_t& length, const ReplyNeed& need);

    // Spins on the tick counter for at least ms milliseconds.
    void BusyWait(uint32_t ms);

    // The COM object hands the driver its port right after construction.
    void AttachPort(std::unique_ptr<CSerialPort> port);

protected:
    CNumberRule m_stationRule;
    AreaDescriptor* m_areaList = nullptr;
    int32_t m_rtsControl = 0;
    std::unique_ptr<CSerialPort> m_port;
    CDriverError m_error;
    uint32_t m_responseTimeout = 0xFFFFFFFF;

private:
    // Link sharing (driver/LinkOpen.cpp).
    int32_t AdoptLink(int32_t portIndex);
    int32_t OpenLink(DeviceSettings& settings, const LinkParameters& link);
    void LeaveLink();

    // Exchange steps (serial/Exchange*.cpp).
    int SendRequest(std::string& data, int32_t& length, uint32_t writeTimeout);
    uint32_t AwaitReply();
    uint32_t ReadChunks(std::string& data, int32_t& length, bool boundedByQueue);
    int FailExchange(std::string& data, int32_t& length, int32_t code);

    // The port index whose shared link this object holds, -1 for none.
    int32_t m_linkIndex = -1;
    // State of the line between framed exchanges: the performance-counter
    // reading from which the line counts as quiet behind the last frame, and
    // whether an unanswered request's reply may still be on its way.
    int64_t m_lineQuietAt = 0;
    bool m_lateReplyPossible = false;
};
