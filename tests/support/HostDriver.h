#pragma once
// A driver object made through Korvel.dll's class factory, as a host makes
// it, and the host's calls on it, each with its outcome: the result and the
// code behind the text GetErrorText gave right after it.
#include <cstdint>
#include <ostream>

#include "support/KorvelHost.h"

struct Outcome {
    int32_t result;
    int32_t code;  // -1: a text that belongs to no code
};

inline bool operator==(const Outcome& a, const Outcome& b) {
    return a.result == b.result && a.code == b.code;
}

inline std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
    return out << "result " << outcome.result << " code " << outcome.code;
}

constexpr Outcome kSucceeded{1, 0};
constexpr Outcome kReadFailed{0, 5};
constexpr Outcome kWriteFailed{0, 6};

// The host's indices into the driver's baud-rate table.
constexpr uint32_t kBaudIndex9600 = 6;
constexpr uint32_t kBaudIndex115200 = 12;

// The code whose GBK text this is, -1 for any other text.
int32_t CodeOfText(const char* text);

// The value Read delivered, from the field of the tag's type group:
// bitValue, wordValue or dwordValue.
uint32_t DeliveredValue(const TagAddress& tag, const TagValue& value);

class HostDriver {
public:
    HostDriver();
    // Releases the object without Close, as a host that simply lets go.
    ~HostDriver();
    HostDriver(const HostDriver&) = delete;
    HostDriver& operator=(const HostDriver&) = delete;

    bool Created() const { return m_driver != nullptr; }

    // 8 data bits, no parity, one stop bit, RTS left alone.
    Outcome Open(int portIndex, uint32_t baudIndex, uint32_t responseTimeoutMs);
    // Open with the settings record opener used, as a host opens a second
    // device on the same line: this object shares the opener's link.
    Outcome OpenShared(const HostDriver& opener);
    Outcome Close();
    // ParseAddress as the host calls it; a refused text fails the test.
    TagAddress Tag(const char* text, int16_t dataType);
    Outcome Read(int32_t station, const TagAddress& tag, TagValue& value);
    Outcome Write(int32_t station, const TagAddress& tag, const TagValue& value);

private:
    Outcome OutcomeOf(int32_t result);

    IDeviceDriver* m_driver = nullptr;
    LinkParameters m_link = {};
    DeviceSettings m_settings = {};
};
