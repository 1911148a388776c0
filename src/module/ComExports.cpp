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

// Hosts treat registration as best effort: the result is success even when
// a key could not be written.
STDAPI DllRegisterServer() {
    const std::wstring path = ModulePathOf(g_classFactories);
    if (path.empty()) return S_OK;
    for (const CClassFactory& factory : g_classFactories) RegisterServerClass(factory.Class(), path);
    return S_OK;
}
