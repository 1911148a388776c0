#pragma once
// A driver object made through Korvel.dll's class factory, as a host makes
// it, and the host's calls on it, each with its outcome: the result and the
// code behind the text GetErrorText gave right after it.
#include <cstdint>
#include <ostream>

#include "support/ErrorTexts.h"
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
constexpr Outcome kOpenFailed{0, 1};
constexpr Outcome kRegisterRefused{0, 3};
constexpr Outcome kReadFailed{0, 5};
constexpr Outcome kWriteFailed{0, 6};
constexpr Outcome kWriteAcknowledged{0, 9};  // exception 05

// A response time-out short enough that a silent slave costs little.
constexpr uint32_t kShortResponseTimeoutMs = 300;

// The value Read delivered, from the field of the tag's type group:
// bitValue, wordValue or dwordValue.
uint32_t DeliveredValue(const TagAddress& tag, const TagValue& value);

class HostDriver {
public:
    HostDriver();
    // The object of another copy of the module, which this one releases.
    explicit HostDriver(IDeviceDriver* driver);
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
    // Open with opener's settings record itself, as a host gives two devices
    // one record: whichever opens the link anew writes its handle there.
    Outcome OpenRecordOf(HostDriver& opener);
    // Open again with the same settings record, as a host does after a
    // change of the settings file.
    Outcome Reopen();
    Outcome Close();
    // ParseAddress as the host calls it; a refused text fails the test.
    TagAddress Tag(const char* text, int16_t dataType);
    Outcome Read(int32_t station, const TagAddress& tag, TagValue& value);
    Outcome Write(int32_t station, const TagAddress& tag, const TagValue& value);

    // The object itself, for calls the host makes with records of its own
    // making; OutcomeOf then reads the text such a call left.
    IDeviceDriver* Object() const { return m_driver; }
    Outcome OutcomeOf(int32_t result);
    // The port handle Open left in the settings record.
    HANDLE PortHandle() const { return m_settings.portHandle; }
    // Lets go of the object now, without Close; the count of references left.
    ULONG Release();

private:
    IDeviceDriver* m_driver = nullptr;
    LinkParameters m_link = {};
    DeviceSettings m_settings = {};
};
