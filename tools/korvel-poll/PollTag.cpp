#include "korvel-poll/PollTag.h"

#include "korvel-poll/DataTypes.h"
#include "korvel-poll/TextUtil.h"

namespace {

struct AreaRule {
    const char* prefix;
    bool bits;
    bool writable;
    int64_t maxCount;
};

const AreaRule kAreas[] = {
    {"0x", true, true, 128},
    {"1x", true, false, 128},
    {"3x", false, false, 32},
    {"4x", false, true, 32},
};

const AreaRule* FindArea(const std::string& address) {
    std::string prefix = ToLower(address.substr(0, 2));
    for (const AreaRule& area : kAreas) {
        if (prefix == area.prefix) return &area;
    }
    return nullptr;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string CheckTagAddress(const std::string& address, int16_t dataType) {
    const AreaRule* area = FindArea(address);
    if (area == nullptr) return "tag address " + Quoted(address) + " must start with 0x, 1x, 3x or 4x";
    std::vector<std::string> parts = Split(address.substr(2), ',');
    if (parts.size() > 2 || !IsDigits(parts[0])) {
        return "tag address " + Quoted(address) + " needs an item number after " + address.substr(0, 2) +
               " and at most one ',count' (e.g. 4x100 or 4x100,8)";
    }
    int64_t number = 0;
    if (!ParseInteger(parts[0], 1, 65534, number)) {
        return "tag address " + Quoted(address) + " is out of range: items are numbered 1..65534";
    }
    int64_t count = 0;
    if (parts.size() == 2 && (!IsDigits(parts[1]) || !ParseInteger(parts[1], 1, area->maxCount, count))) {
        return "tag address " + Quoted(address) + ": the count after ',' must be 1.." +
               std::to_string(area->maxCount) + " in area " + area->prefix;
    }
    if (IsBitType(dataType) != area->bits) {
        return std::string("type ") + DataTypeText(dataType) + " does not fit area " + area->prefix + ": " +
               (area->bits ? "bit areas take bit" : "register areas take int16, uint16, bcd, uint32 or float");
    }
    return "";
}

std::string ParseTagSpec(const std::string& text, PollTag& tag) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        return "tag " + Quoted(text) + " needs a type: ADDRESS:TYPE, e.g. 4x100:uint16";
    }
    return MakeTag(text.substr(0, colon), text.substr(colon + 1), text.substr(0, colon), "", tag);
}

std::string MakeTag(const std::string& address, const std::string& type, const std::string& name,
                    const std::string& station, PollTag& tag) {
    int16_t code = 0;
    if (!LookupDataType(type, code)) {
        return "unknown type " + Quoted(type) + " for tag " + Quoted(address) + ": use " + DataTypeList() +
               " or the codes 1, 4, 8, 16, 32, 128";
    }
    std::string problem = CheckTagAddress(address, code);
    if (problem.empty() && !station.empty()) problem = CheckStationText(station);
    if (!problem.empty()) return problem;
    tag = PollTag{name.empty() ? address : name, address, code, station};
    return "";
}

std::string CheckStationText(const std::string& station) {
    int64_t number = 0;
    if (!IsDigits(station) || !ParseInteger(station, 1, 254, number)) {
        return "station " + Quoted(station) + " is not a station number 1..254";
    }
    return "";
}

bool IsReadOnlyArea(const std::string& address) {
    const AreaRule* area = FindArea(address);
    return area != nullptr && !area->writable;
}
