#pragma once
// The host's link settings and the area table rows handed to it. Binding
// 32-bit layouts: the host passes these records by pointer.
#include <cstddef>
#include <cstdint>

struct LinkParameters {
    int16_t portIndex;  // 0 is COM1
    uint8_t unused2[2];
    uint32_t baudIndex;
    uint16_t eightDataBits;
    uint16_t twoStopBits;
    int16_t parityIndex;  // host order: odd, even, none, mark, space
    int16_t rtsControl;
    uint32_t responseTimeout;  // milliseconds
};
static_assert(offsetof(LinkParameters, portIndex) == 0, "LinkParameters.portIndex");
static_assert(offsetof(LinkParameters, baudIndex) == 4, "LinkParameters.baudIndex");
static_assert(offsetof(LinkParameters, eightDataBits) == 8, "LinkParameters.eightDataBits");
static_assert(offsetof(LinkParameters, twoStopBits) == 10, "LinkParameters.twoStopBits");
static_assert(offsetof(LinkParameters, parityIndex) == 12, "LinkParameters.parityIndex");
static_assert(offsetof(LinkParameters, rtsControl) == 14, "LinkParameters.rtsControl");
static_assert(offsetof(LinkParameters, responseTimeout) == 16, "LinkParameters.responseTimeout");
static_assert(sizeof(LinkParameters) == 20, "LinkParameters size");

struct AreaDescriptor {
    char name[40];
    uint32_t access;  // bit 0 readable, bit 1 writable
    uint32_t typeMask1;
    uint32_t typeMask2;
};
static_assert(offsetof(AreaDescriptor, access) == 40, "AreaDescriptor.access");
static_assert(offsetof(AreaDescriptor, typeMask1) == 44, "AreaDescriptor.typeMask1");
static_assert(offsetof(AreaDescriptor, typeMask2) == 48, "AreaDescriptor.typeMask2");
static_assert(sizeof(AreaDescriptor) == 52, "AreaDescriptor size");

#ifdef _WIN32
#include <windows.h>

struct DeviceSettings {
    LinkParameters* link;
    uint8_t unused4[68];
    HANDLE portHandle;  // 0 until a driver object opened the link
};
// The host is a 32-bit process; the 64-bit stand-in build only runs the
// tests where no 32-bit program can run, and its records take the natural
// 64-bit layout.
#ifndef _WIN64
static_assert(offsetof(DeviceSettings, link) == 0, "DeviceSettings.link");
static_assert(offsetof(DeviceSettings, portHandle) == 72, "DeviceSettings.portHandle");
static_assert(sizeof(DeviceSettings) == 76, "DeviceSettings size");
#endif
#endif
