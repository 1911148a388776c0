#include "support/HostDriver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

namespace {

// GBK (code page 936) texts of the codes 0 to 8, in code order.
const char* const kCodeTexts[] = {
    "OK",
    "\xb3\xf5\xca\xbc\xbb\xaf\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21",
    "\xb4\xed\xce\xf3\xb5\xc4\xc9\xe8\xb1\xb8\xb5\xd8\xd6\xb7\x21",
    "\xb2\xbb\xd6\xa7\xb3\xd6\xb8\xc3\xbc\xc4\xb4\xe6\xc6\xf7\x21",
    "\xb4\xed\xce\xf3\xb5\xc4\xca\xfd\xbe\xdd\xc0\xe0\xd0\xcd\x21",
    "\xb6\xc1\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21",
    "\xd0\xb4\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3\x21",
    "\xc9\xe8\xb1\xb8\xb3\xac\xca\xb1\xb2\xbb\xcf\xec\xd3\xa6\x21",
    "\xce\xb4\xd6\xaa\xb4\xed\xce\xf3\x21",
};

}  // namespace

int32_t CodeOfText(const char* text) {
    if (text == nullptr) return -1;
    for (int32_t code = 0; code < static_cast<int32_t>(std::size(kCodeTexts)); ++code) {
        if (std::strcmp(text, kCodeTexts[code]) == 0) return code;
    }
    return -1;
}

uint32_t DeliveredValue(const TagAddress& tag, const TagValue& value) {
    if (tag.area == kAreaCoils || tag.area == kAreaDiscreteInputs) return value.bitValue;
    if (tag.dataType == kTypeUInt32 || tag.dataType == kTypeFloat) return value.dwordValue;
    return value.wordValue;
}

HostDriver::HostDriver() : m_driver(CreateDriverObject<IDeviceDriver>(kIidDeviceDriver)) {
    EXPECT_NE(m_driver, nullptr) << "Korvel.dll made no driver object";
}

HostDriver::~HostDriver() {
    if (m_driver != nullptr) m_driver->Release();
}

Outcome HostDriver::Open(int portIndex, uint32_t baudIndex, uint32_t responseTimeoutMs) {
    m_link = LinkAt9600(portIndex, responseTimeoutMs);
    m_link.baudIndex = baudIndex;
    m_settings = {};
    m_settings.link = &m_link;
    return OutcomeOf(m_driver->Open(&m_settings));
}

Outcome HostDriver::OpenShared(const HostDriver& opener) {
    m_link = opener.m_link;
    m_settings = opener.m_settings;
    m_settings.link = &m_link;
    return OutcomeOf(m_driver->Open(&m_settings));
}

Outcome HostDriver::Close() {
    return OutcomeOf(m_driver->Close(0));
}

TagAddress HostDriver::Tag(const char* text, int16_t dataType) {
    TagAddress tag = {};
    tag.dataType = dataType;
    EXPECT_EQ(m_driver->ParseAddress(text, &tag), 1) << text << " of type " << dataType;
    m_driver->GetErrorText();
    return tag;
}

Outcome HostDriver::Read(int32_t station, const TagAddress& tag, TagValue& value) {
    return OutcomeOf(m_driver->Read(&station, &tag, &value));
}

Outcome HostDriver::Write(int32_t station, const TagAddress& tag, const TagValue& value) {
    return OutcomeOf(m_driver->Write(&station, &tag, &value));
}

Outcome HostDriver::OutcomeOf(int32_t result) {
    return {result, CodeOfText(m_driver->GetErrorText())};
}
