#include "module/ModbusRtuDEC.h"

#include <memory>
#include <new>

#include "com/ModuleLock.h"
#include "module/ComIdentities.h"
#include "serial/SerialPort.h"

// The port is attached before the module lock is taken: if anything throws
// while the object is built, the parts already built unwind and no lock is
// left behind.
CModbusRtuDEC::CModbusRtuDEC() {
    m_xDeviceDriver.AttachPort(std::make_unique<CSerialPort>());
    EnableAutomation();
    ComLockModule();
}

// The driver member (and with it the port) goes after this body, so the
// module lock is the first thing released.
CModbusRtuDEC::~CModbusRtuDEC() {
    ComUnlockModule();
}

CComTarget* CModbusRtuDEC::CreateObject() {
    try {
        return new CModbusRtuDEC;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// offsetof on this class is exact: it derives from CComTarget alone, with no
// virtual base. GCC only warns because it is not standard-layout.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

const InterfaceMapEntry* CModbusRtuDEC::GetInterfaceMap() const {
    static const InterfaceMapEntry kInterfaceMap[] = {
        {&IID_IModbusRtuDEC, offsetof(CModbusRtuDEC, m_xDispatch)},
        {&IID_IDeviceDriver, offsetof(CModbusRtuDEC, m_xDeviceDriver)},
        {nullptr, 0},
    };
    return kInterfaceMap;
}

ptrdiff_t CModbusRtuDEC::XDeviceDriver::GetOuterOffset() {
    return offsetof(CModbusRtuDEC, m_xDeviceDriver);
}

#pragma GCC diagnostic pop
