#pragma once
// A driver object made through Korvel.dll the way a host makes it, opened on
// a simulated line of its own: 9600 baud, 8N1, a 300 ms response time-out so
// that a silent slave costs little. The host's calls go through IDeviceDriver
// only; the line's request log shows what went out.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/KorvelHost.h"
#include "support/LineFixture.h"

using Bytes = std::vector<uint8_t>;
using Frames = std::vector<Bytes>;

// GBK texts the host gets from GetErrorText.
inline const std::string kTextOk = "OK";
inline const std::string kTextInitDevice = "\xb3\xf5\xca\xbc\xbb\xaf\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21";
inline const std::string kTextRegister = "\xb2\xbb\xd6\xa7\xb3\xd6\xb8\xc3\xbc\xc4\xb4\xe6\xc6\xf7\x21";
inline const std::string kTextReadDevice = "\xb6\xc1\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21";
inline const std::string kTextWriteDevice = "\xd0\xb4\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21";

class DriverLine {
public:
    explicit DriverLine(std::vector<int> stations = {1});
    ~DriverLine();
    DriverLine(const DriverLine&) = delete;
    DriverLine& operator=(const DriverLine&) = delete;

    // Open again with the same settings record, as a host does after a
    // change of the settings file.
    int32_t Reopen();
    // "COM10" for the line's port.
    std::string PortName() const;

    // ParseAddress as the host calls it; a refused text fails the test.
    TagAddress Tag(const char* text, int16_t dataType);

    int32_t Read(int32_t station, const TagAddress& tag, TagValue& value);
    int32_t Write(int32_t station, const TagAddress& tag, const TagValue& value);
    // GetErrorText, which also resets the code.
    std::string Text();

    // The frames the slave received while step ran.
    Frames RequestsDuring(const std::function<void()>& step);

    LineFixture line;
    IDeviceDriver* driver = nullptr;

private:
    LinkParameters m_link = {};
    DeviceSettings m_settings = {};
};
