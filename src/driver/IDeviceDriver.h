#pragma once
// The host's driver interface. The slot order and argument types are binding:
// the host calls through this vtable with the COM calling convention.
#include <windows.h>
#include <unknwn.h>

#include <cstdint>

#include "driver/HostRecords.h"
#include "tags/TagRecords.h"

// {276E54C1-65E3-11D3-9945-444553540000}
extern const IID IID_IDeviceDriver;

struct IDeviceDriver : public IUnknown {
    virtual int32_t __stdcall Initialize(int32_t value) = 0;
    virtual int32_t __stdcall Open(DeviceSettings* settings) = 0;
    virtual int32_t __stdcall GetAreaTable(AreaDescriptor** areas, int16_t* count) = 0;
    virtual int32_t __stdcall ParseAddress(const char* text, TagAddress* tag) = 0;
    virtual int32_t __stdcall CheckStation(const char* text, int32_t* station) = 0;
    virtual int32_t __stdcall Read(const int32_t* station, const TagAddress* tag, TagValue* value) = 0;
    virtual int32_t __stdcall Write(const int32_t* station, const TagAddress* tag, const TagValue* value) = 0;
    virtual int32_t __stdcall Close(int32_t ignored) = 0;
    virtual const char* __stdcall GetErrorText() = 0;
};
