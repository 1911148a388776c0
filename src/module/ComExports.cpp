// The standard exports of an in-process server, over the module's one
// creatable class.
#include <windows.h>
#include <olectl.h>

#include <iterator>

#include "com/ClassFactory.h"
#include "com/ModuleLock.h"
#include "com/Registration.h"
#include "module/ComIdentities.h"
#include "module/ModbusRtuDEC.h"

namespace {

const ComClass kModbusRtuDECClass = {
    &CLSID_ModbusRtuDEC,
    kModbusRtuDECProgId,
    kModbusRtuDECName,
    &CModbusRtuDEC::CreateObject,
};

CClassFactory g_classFactories[] = {CClassFactory(kModbusRtuDECClass)};

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return GetClassObject(g_classFactories, std::size(g_classFactories), clsid, iid, object);
}

STDAPI DllCanUnloadNow() {
    return ComModuleInUse() ? S_FALSE : S_OK;
}

// A class that could not be registered fails the call, so that regsvr32 run
// without the rights to write the keys says so.
STDAPI DllRegisterServer() {
    const std::wstring path = ModulePathOf(g_classFactories);
    if (path.empty()) return SELFREG_E_CLASS;
    for (const CClassFactory& factory : g_classFactories) {
        if (RegisterServerClass(factory.Class(), path) != ERROR_SUCCESS) return SELFREG_E_CLASS;
    }
    return S_OK;
}
