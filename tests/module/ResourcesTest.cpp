#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "support/KorvelHost.h"

namespace {

const LANGID kChineseSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);

std::wstring NameOf(ITypeInfo* info) {
    BSTR name = nullptr;
    info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    std::wstring text = name != nullptr ? name : L"";
    SysFreeString(name);
    return text;
}

ITypeInfo* TypeOf(ITypeLib* library, const GUID& guid) {
    ITypeInfo* info = nullptr;
    library->GetTypeInfoOfGuid(guid, &info);
    return info;
}

}  // namespace

TEST(Resources, TypeLibraryDescribesTheEmptyDispinterfaceAndItsCoclass) {
    HRSRC resource = FindResourceExW(Korvel().module, L"TYPELIB", MAKEINTRESOURCEW(1), kChineseSimplified);
    ASSERT_NE(resource, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(Korvel().module, resource)));
    EXPECT_EQ(std::string(bytes, 4), "MSFT");

    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(KorvelPathW().c_str(), REGKIND_NONE, &library), S_OK);
    TLIBATTR* libraryAttributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&libraryAttributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(libraryAttributes->guid, kLibidKorvel));
    EXPECT_EQ(libraryAttributes->lcid, 0x0409u);
#ifdef _WIN64
    EXPECT_EQ(libraryAttributes->syskind, SYS_WIN64);
#else
    EXPECT_EQ(libraryAttributes->syskind, SYS_WIN32);
#endif
    EXPECT_EQ(libraryAttributes->wMajorVerNum, 1);
    EXPECT_EQ(libraryAttributes->wMinorVerNum, 0);
    library->ReleaseTLibAttr(libraryAttributes);
    BSTR libraryName = nullptr;
    library->GetDocumentation(-1, &libraryName, nullptr, nullptr, nullptr);
    EXPECT_STREQ(libraryName, L"Korvel");
    SysFreeString(libraryName);
    EXPECT_EQ(library->GetTypeInfoCount(), 2u);

    ITypeInfo* dispinterface = TypeOf(library, kIidModbusRtuDEC);
    ASSERT_NE(dispinterface, nullptr);
    EXPECT_EQ(NameOf(dispinterface), L"IModbusRtuDEC");
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(dispinterface->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attributes->cVars, 0);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDISPATCHABLE);
    dispinterface->ReleaseTypeAttr(attributes);

    ITypeInfo* coclass = TypeOf(library, kClsidModbusRtuDEC);
    ASSERT_NE(coclass, nullptr);
    EXPECT_EQ(NameOf(coclass), L"ModbusRtuDEC");
    ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attributes->cImplTypes, 1);
    coclass->ReleaseTypeAttr(attributes);
    INT flags = 0;
    EXPECT_EQ(coclass->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    HREFTYPE reference = 0;
    ITypeInfo* implemented = nullptr;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
    ASSERT_EQ(coclass->GetRefTypeInfo(reference, &implemented), S_OK);
    EXPECT_EQ(NameOf(implemented), L"IModbusRtuDEC");

    implemented->Release();
    coclass->Release();
    dispinterface->Release();
    library->Release();
}

TEST(Resources, VersionInformationCarriesEveryValue) {
    const LPCWSTR versionType = MAKEINTRESOURCEW(16);  // RT_VERSION
    EXPECT_NE(FindResourceExW(Korvel().module, versionType, MAKEINTRESOURCEW(1), kChineseSimplified), nullptr);
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(KorvelPath(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(KorvelPath(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                               &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0804);
    EXPECT_EQ(translation[1], 1200);

    struct Value {
        const char* key;
        const char* text;
    } values[] = {
        {"FileDescription", "Korvel DLL"},
        {"FileVersion", "1, 0, 0, 1"},
        {"InternalName", "Korvel"},
        {"OriginalFilename", "Korvel.DLL"},
        {"ProductName", "Korvel Dynamic Link Library"},
        {"ProductVersion", "1, 0, 0, 1"},
    };
    for (const Value& v : values) {
        const std::string path = std::string("\\StringFileInfo\\080404b0\\") + v.key;
        char* text = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)) << v.key;
        EXPECT_STREQ(text, v.text) << v.key;
    }
}
