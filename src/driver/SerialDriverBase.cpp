#include "driver/SerialDriverBase.h"

#include "com/ComTarget.h"
#include "serial/SerialLine.h"
#include "serial/SerialPort.h"

// {276E54C1-65E3-11D3-9945-444553540000}
const IID IID_IDeviceDriver = {0x276E54C1, 0x65E3, 0x11D3, {0x99, 0x45, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

namespace {

CComTarget* OwnerOf(CSerialDriverBase* driver) {
    return reinterpret_cast<CComTarget*>(reinterpret_cast<char*>(driver) - driver->GetOuterOffset());
}

}  // namespace

CSerialDriverBase::CSerialDriverBase() {
    m_stationRule.SetRule(10, 0, 255);
}

// Destruction gives up this object's share of the link; the port closes
// the handle only when no other driver object still uses it.
CSerialDriverBase::~CSerialDriverBase() {
    if (m_line != nullptr) CLine::CloseIfLastUser(m_line);
    delete[] m_areaList;
}

void CSerialDriverBase::AttachPort(std::unique_ptr<CSerialPort> port) {
    m_line = port != nullptr ? std::make_shared<CSerialLine>(std::move(port)) : nullptr;
}

HRESULT __stdcall CSerialDriverBase::QueryInterface(REFIID iid, void** object) {
    return OwnerOf(this)->ExternalQueryInterface(&iid, object);
}

ULONG __stdcall CSerialDriverBase::AddRef() {
    return OwnerOf(this)->ExternalAddRef();
}

ULONG __stdcall CSerialDriverBase::Release() {
    return OwnerOf(this)->ExternalRelease();
}

int32_t __stdcall CSerialDriverBase::Initialize(int32_t) {
    return 1;
}

int32_t __stdcall CSerialDriverBase::GetAreaTable(AreaDescriptor** areas, int16_t* count) {
    if (areas != nullptr) *areas = m_areaList;
    if (count != nullptr) *count = 0;
    return 1;
}

int32_t __stdcall CSerialDriverBase::ParseAddress(const char*, TagAddress*) {
    m_error.SetCode(kErrorRegister);
    return 0;
}

int32_t __stdcall CSerialDriverBase::CheckStation(const char* text, int32_t* station) {
    int ok = m_stationRule.Parse(text, station);
    m_error.SetCode(ok ? kErrorNone : kErrorStationAddress);
    return ok;
}

int32_t __stdcall CSerialDriverBase::Read(const int32_t*, const TagAddress*, TagValue*) {
    return 1;
}

int32_t __stdcall CSerialDriverBase::Write(const int32_t*, const TagAddress*, const TagValue*) {
    return 1;
}

const char* __stdcall CSerialDriverBase::GetErrorText() {
    return m_error.GetText(1);
}
