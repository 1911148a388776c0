#pragma once
// The COM class the host creates: one Modbus RTU driver object behind the
// COM base part, answering IDeviceDriver, plus an empty automation
// dispinterface. Lives until the last reference to any interface goes.
#include <cstddef>

#include "com/ComTarget.h"
#include "driver/ModbusRtuDriver.h"

class CModbusRtuDEC : public CComTarget {
public:
    CModbusRtuDEC();
    ~CModbusRtuDEC() override;

    // Dynamic creation for the class factory; null when memory runs out.
    static CComTarget* CreateObject();

protected:
    const InterfaceMapEntry* GetInterfaceMap() const override;

private:
    class XDeviceDriver : public CModbusRtuDriver {
    public:
        ptrdiff_t GetOuterOffset() override;
    };

    XDeviceDriver m_xDeviceDriver;
};
