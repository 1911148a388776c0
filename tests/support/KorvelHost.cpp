#include "support/KorvelHost.h"

#include <gtest/gtest.h>

namespace {

template <class Function>
void Resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

KorvelExports Load() {
    KorvelExports exports = {};
    exports.module = LoadLibraryA(KorvelPath());
    if (exports.module == nullptr) {
        ADD_FAILURE() << "LoadLibraryA(" << KorvelPath() << ") failed: " << GetLastError();
        return exports;
    }
    Resolve(exports.module, "DllCanUnloadNow", exports.canUnloadNow);
    Resolve(exports.module, "DllGetClassObject", exports.getClassObject);
    Resolve(exports.module, "DllRegisterServer", exports.registerServer);
    Resolve(exports.module, "_GetDeviceInfo@12", exports.getDeviceInfo);
    Resolve(exports.module, "_GetModuleInfo@8", exports.getModuleInfo);
    return exports;
}

}  // namespace

const KorvelExports& Korvel() {
    static const KorvelExports exports = Load();
    return exports;
}

const char* KorvelPath() {
    return KORVEL_DLL_PATH;
}

std::wstring KorvelPathW() {
    const std::string path = KorvelPath();
    return std::wstring(path.begin(), path.end());
}

GUID GuidOf(const wchar_t* text) {
    GUID guid = {};
    CLSIDFromString(text, &guid);
    return guid;
}
