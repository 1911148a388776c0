#include "korvel-poll/host/DriverHost.h"

#include <cstdio>

// {276E54C1-65E3-11D3-9945-444553540000}: the driver interface the host asks for.
const IID IID_IDeviceDriver = {0x276E54C1, 0x65E3, 0x11D3, {0x99, 0x45, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {

// {30F4085C-B3FD-4F01-B6B6-DEC72F65CED5}
const CLSID kDriverClass = {0x30F4085C, 0xB3FD, 0x4F01, {0xB6, 0xB6, 0xDE, 0xC7, 0x2F, 0x65, 0xCE, 0xD5}};
const wchar_t kDriverProgId[] = L"Korvel.ModbusRtuDEC";

std::string HexCode(unsigned long code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", code);
    return text;
}

// Exports are found as untyped procedures; the generic function pointer in
// between says the signature is ours to know.
template <typename Function>
Function FindExport(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::string ModuleBesideProgram() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string program(path, length < sizeof path ? length : 0);
    size_t slash = program.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) + "Korvel.dll";
}

}  // namespace

DriverHost::~DriverHost() {
    if (m_driver != nullptr) m_driver->Release();
    if (m_module != nullptr) FreeLibrary(m_module);
    if (m_comStarted) CoUninitialize();
}

std::string DriverHost::Load(const std::string& path) {
    m_path = path.empty() ? ModuleBesideProgram() : path;
    m_module = LoadLibraryA(m_path.c_str());
    if (m_module == nullptr) {
        return "cannot load the driver module '" + m_path + "' (Windows error " + std::to_string(GetLastError()) + ")";
    }
    m_getModuleInfo = FindExport<GetModuleInfoFn>(m_module, "_GetModuleInfo@8");
    m_getDeviceInfo = FindExport<GetDeviceInfoFn>(m_module, "_GetDeviceInfo@12");
    if (m_getModuleInfo == nullptr || m_getDeviceInfo == nullptr) {
        return "'" + m_path + "' is not a driver module: _GetModuleInfo@8 or _GetDeviceInfo@12 is missing";
    }
    return "";
}

std::string DriverHost::CreateDriver(bool registered) {
    m_comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    return registered ? CreateRegistered() : CreateFromModule();
}

std::string DriverHost::CreateFromModule() {
    auto getClassObject = FindExport<DllGetClassObjectFn>(m_module, "DllGetClassObject");
    if (getClassObject == nullptr) return "'" + m_path + "' has no DllGetClassObject";
    IClassFactory* factory = nullptr;
    HRESULT result = getClassObject(kDriverClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(result)) return "the module has no driver class factory (" + HexCode(result) + ")";
    result = factory->CreateInstance(nullptr, IID_IDeviceDriver, reinterpret_cast<void**>(&m_driver));
    factory->Release();
    if (FAILED(result)) return "the class factory made no IDeviceDriver (" + HexCode(result) + ")";
    return "";
}

std::string DriverHost::CreateRegistered() {
    CLSID driverClass;
    if (FAILED(CLSIDFromProgID(kDriverProgId, &driverClass))) {
        return "Korvel.ModbusRtuDEC is not registered (run regsvr32 Korvel.dll)";
    }
    HRESULT result = CoCreateInstance(driverClass, nullptr, CLSCTX_INPROC_SERVER, IID_IDeviceDriver,
                                      reinterpret_cast<void**>(&m_driver));
    if (FAILED(result)) return "CoCreateInstance of Korvel.ModbusRtuDEC failed (" + HexCode(result) + ")";
    return "";
}

bool DriverHost::GetModuleInfo(ModuleInfo& info) const {
    return m_getModuleInfo(&info, sizeof info) == 1;
}

bool DriverHost::GetDeviceInfo(int32_t index, DeviceInfo& info) const {
    return m_getDeviceInfo(index, &info, sizeof info) == 1;
}
