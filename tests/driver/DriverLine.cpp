#include "driver/DriverLine.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

constexpr uint32_t kResponseTimeoutMs = 300;

}  // namespace

DriverLine::DriverLine(std::vector<int> stations) : line(9600, std::move(stations)) {
    driver = CreateDriverObject<IDeviceDriver>(kIidDeviceDriver);
    if (driver == nullptr) {
        ADD_FAILURE() << "no IDeviceDriver from Korvel.dll";
        return;
    }
    m_link = LinkAt9600(line.PortIndex(), kResponseTimeoutMs);
    m_settings.link = &m_link;
    EXPECT_EQ(driver->Open(&m_settings), 1) << driver->GetErrorText();
}

DriverLine::~DriverLine() {
    if (driver == nullptr) return;
    driver->Close(0);
    driver->Release();
}

int32_t DriverLine::Reopen() {
    return driver->Open(&m_settings);
}

std::string DriverLine::PortName() const {
    return "COM" + std::to_string(line.PortIndex() + 1);
}

TagAddress DriverLine::Tag(const char* text, int16_t dataType) {
    TagAddress tag = {};
    tag.dataType = dataType;
    EXPECT_EQ(driver->ParseAddress(text, &tag), 1) << text << " type " << dataType;
    return tag;
}

int32_t DriverLine::Read(int32_t station, const TagAddress& tag, TagValue& value) {
    return driver->Read(&station, &tag, &value);
}

int32_t DriverLine::Write(int32_t station, const TagAddress& tag, const TagValue& value) {
    return driver->Write(&station, &tag, &value);
}

std::string DriverLine::Text() {
    return driver->GetErrorText();
}

Frames DriverLine::RequestsDuring(const std::function<void()>& step) {
    line.ClearRequests();
    step();
    return line.Requests();
}
