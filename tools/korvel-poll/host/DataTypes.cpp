#include "korvel-poll/host/DataTypes.h"

#include "korvel-poll/console/TextUtil.h"
#include "tags/TagRecords.h"

namespace {

struct DataTypeName {
    int16_t code;
    const char* name;
};

const DataTypeName kDataTypes[] = {
    {kTypeBit, "bit"},     {kTypeInt16, "int16"},   {kTypeUInt16, "uint16"},
    {kTypeBcd, "bcd"},     {kTypeUInt32, "uint32"}, {kTypeFloat, "float"},
};

}  // namespace

bool LookupDataType(const std::string& text, int16_t& code) {
    std::string name = ToLower(text);
    for (const DataTypeName& type : kDataTypes) {
        if (name == type.name || name == std::to_string(type.code)) {
            code = type.code;
            return true;
        }
    }
    return false;
}

const char* DataTypeText(int16_t code) {
    for (const DataTypeName& type : kDataTypes) {
        if (type.code == code) return type.name;
    }
    return "?";
}

std::string DataTypeList() {
    std::string list;
    for (const DataTypeName& type : kDataTypes) {
        if (!list.empty()) list += ", ";
        list += type.name;
    }
    return list;
}

std::string DataTypeNames(uint32_t mask) {
    std::string names;
    std::string last;
    for (const DataTypeName& type : kDataTypes) {
        if ((mask & static_cast<uint32_t>(type.code)) == 0) continue;
        if (!last.empty()) names += (names.empty() ? "" : ", ") + last;
        last = type.name;
    }
    return names.empty() ? last : names + " or " + last;
}

std::string DataTypeCodes() {
    std::string codes;
    for (const DataTypeName& type : kDataTypes) codes += (codes.empty() ? "" : ", ") + std::to_string(type.code);
    return codes;
}
