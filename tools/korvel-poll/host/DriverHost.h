#pragma once
// Loads the driver module the way the host does: the two information exports
// by their decorated names, then the COM class and its IDeviceDriver.
#include <windows.h>

#include <string>

#include "driver/IDeviceDriver.h"
#include "module/InfoRecords.h"

class DriverHost {
public:
    DriverHost() = default;
    DriverHost(const DriverHost&) = delete;
    DriverHost& operator=(const DriverHost&) = delete;
    // Releases the driver object before the module goes.
    ~DriverHost();

    // Loads the module (Korvel.dll beside this program when path is empty)
    // and finds its information exports. Returns an empty text or the reason.
    std::string Load(const std::string& path);
    // Creates the driver object through the module's DllGetClassObject, or
    // through the registered class when registered is true.
    std::string CreateDriver(bool registered);

    bool GetModuleInfo(ModuleInfo& info) const;
    bool GetDeviceInfo(int32_t index, DeviceInfo& info) const;
    IDeviceDriver& Driver() const { return *m_driver; }
    const std::string& Path() const { return m_path; }
    HMODULE Module() const { return m_module; }

private:
    using GetModuleInfoFn = int32_t(__stdcall*)(ModuleInfo*, int32_t);
    using GetDeviceInfoFn = int32_t(__stdcall*)(int32_t, DeviceInfo*, int32_t);
    using DllGetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);

    std::string CreateFromModule();
    std::string CreateRegistered();

    std::string m_path;
    HMODULE m_module = nullptr;
    GetModuleInfoFn m_getModuleInfo = nullptr;
    GetDeviceInfoFn m_getDeviceInfo = nullptr;
    bool m_comStarted = false;
    IDeviceDriver* m_driver = nullptr;
};
