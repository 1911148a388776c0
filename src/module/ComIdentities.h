#pragma once
// The COM identities the module publishes; the type library and the
// registry carry the same values.
#include <windows.h>

// {30F4085C-B3FD-4F01-B6B6-DEC72F65CED5}: class factory and coclass ModbusRtuDEC
extern const CLSID CLSID_ModbusRtuDEC;
// {1FBFF658-B4A4-4268-AA62-4B0FE67C079E}: the dispinterface, without members
extern const IID IID_IModbusRtuDEC;

inline constexpr wchar_t kModbusRtuDECProgId[] = L"Korvel.ModbusRtuDEC";
inline constexpr wchar_t kModbusRtuDECName[] = L"CModbusRtuDEC";
