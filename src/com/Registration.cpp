#include "com/Registration.h"

#include <string_view>
#include <vector>

namespace {

// Keys and values may name {clsid}, {progid}, {name} and {path}; a null value
// name is the key's default value.
struct RegistryRow {
    const wchar_t* key;
    const wchar_t* valueName;
    const wchar_t* value;
};

const RegistryRow kServerRows[] = {
    {L"CLSID\\{clsid}", nullptr, L"{name}"},
    {L"CLSID\\{clsid}\\InprocServer32", nullptr, L"{path}"},
    {L"CLSID\\{clsid}\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\{clsid}\\ProgID", nullptr, L"{progid}"},
    {L"{progid}", nullptr, L"{name}"},
    {L"{progid}\\CLSID", nullptr, L"{clsid}"},
};

struct Placeholder {
    std::wstring_view token;
    std::wstring text;
};

// One pass over the pattern, so placeholder texts are never expanded again.
std::wstring Expand(std::wstring_view pattern, const std::vector<Placeholder>& placeholders) {
    std::wstring text;
    size_t at = 0;
    while (at < pattern.size()) {
        const Placeholder* match = nullptr;
        for (const Placeholder& placeholder : placeholders) {
            if (pattern.compare(at, placeholder.token.size(), placeholder.token) == 0) match = &placeholder;
        }
        if (match != nullptr) {
            text += match->text;
            at += match->token.size();
        } else {
            text += pattern[at++];
        }
    }
    return text;
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

class ClassesRootWriter : public IRegistryWriter {
public:
    LONG WriteValue(const std::wstring& key, const wchar_t* valueName, const std::wstring& value) override {
        HKEY handle = nullptr;
        LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                      &handle, nullptr);
        if (result != ERROR_SUCCESS) return result;
        auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        result = RegSetValueExW(handle, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
        RegCloseKey(handle);
        return result;
    }
    void DeleteTree(const std::wstring& key) override { RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()); }
};

}  // namespace

IRegistryWriter& ClassesRoot() {
    static ClassesRootWriter writer;
    return writer;
}

std::wstring ModulePathOf(const void* address) {
    HMODULE module = nullptr;
    DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExW(flags, static_cast<LPCWSTR>(address), &module)) return {};
    // Long path names can exceed MAX_PATH; grow until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

LONG RegisterServerClass(const ComClass& comClass, const std::wstring& serverPath, IRegistryWriter& registry) {
    const std::vector<Placeholder> placeholders = {
        {L"{clsid}", GuidText(*comClass.clsid)},
        {L"{progid}", comClass.progId},
        {L"{name}", comClass.name},
        {L"{path}", serverPath},
    };
    for (const RegistryRow& row : kServerRows) {
        LONG result =
            registry.WriteValue(Expand(row.key, placeholders), row.valueName, Expand(row.value, placeholders));
        if (result != ERROR_SUCCESS) {
            registry.DeleteTree(Expand(kServerRows[0].key, placeholders));
            registry.DeleteTree(comClass.progId);
            return result;
        }
    }
    return ERROR_SUCCESS;
}
