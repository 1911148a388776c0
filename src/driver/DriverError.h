#pragma once
// The last-error holder of a driver object: a code 0..9 that every driver
// operation leaves behind and the host reads (and clears) as a GBK text.
#include <cstdint>
#include <string>

enum ErrorCode : int32_t {
    kErrorNone = 0,
    kErrorInitDevice = 1,
    kErrorStationAddress = 2,
    kErrorRegister = 3,
    kErrorDataType = 4,
    kErrorReadDevice = 5,
    kErrorWriteDevice = 6,
    kErrorTimeout = 7,
    kErrorUnknown = 8,
    kErrorCustom = 9,
};

// Code 9's text for a write the device answered with exception 05: the
// write error's text with what 05 means, so that code 6 keeps the one text
// hosts match.
extern const char kAcknowledgedWriteText[];

class CDriverError {
public:
    // Records code 0..8 and returns 1; code 9 (the custom text) cannot be set
    // this way and is refused with 0, keeping the current code.
    int SetCode(int32_t code);
    // Records code 9 with its text, GBK bytes as the host shows them.
    void SetCustomText(const char* text);
    // The text of the current code; a nonzero reset then clears the code.
    // Table texts are static and a custom text is kept until the next is
    // set, so the pointer outlives the reset.
    const char* GetText(int reset);

private:
    int32_t m_code = kErrorNone;
    std::string m_customText;
};
