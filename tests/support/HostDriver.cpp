#include "support/HostDriver.h"

#include <gtest/gtest.h>

uint32_t DeliveredValue(const TagAddress& tag, const TagValue& value) {
    if (tag.area == kAreaCoils || tag.area == kAreaDiscreteInputs) return value.bitValue;
    if (tag.dataType == kTypeUInt32 || tag.dataType == kTypeFloat) return value.dwordValue;
    return value.wordValue;
}

HostDriver::HostDriver() : HostDriver(CreateDriverObject<IDeviceDriver>(kIidDeviceDriver)) {}

HostDriver::HostDriver(IDeviceDriver* driver) : m_driver(driver) {
    EXPECT_NE(m_driver, nullptr) << "Korvel.dll made no driver object";
}

HostDriver::~HostDriver() {
    if (m_driver != nullptr) m_driver->Release();
}

ULONG HostDriver::Release() {
    const ULONG left = m_driver->Release();
    m_driver = nullptr;
    return left;
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

Outcome HostDriver::OpenRecordOf(HostDriver& opener) {
    return OutcomeOf(m_driver->Open(&opener.m_settings));
}

Outcome HostDriver::Reopen() {
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
