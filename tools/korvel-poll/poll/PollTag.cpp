#include "korvel-poll/poll/PollTag.h"

#include <cctype>

#include "korvel-poll/host/DataTypes.h"
#include "korvel-poll/console/TextUtil.h"
#include "tags/AreaRules.h"

namespace {

// The area whose prefix ("4x", "0X") opens the address, or -1.
int32_t FindArea(const std::string& address) {
    if (address.size() < 2 || std::tolower(static_cast<unsigned char>(address[1])) != 'x') return -1;
    for (int32_t area = kAreaCoils; const modbus::AreaRule* rule = modbus::FindAreaRule(area); ++area) {
        if (rule->prefixDigit == address[0]) return area;
    }
    return -1;
}

std::string PrefixText(const modbus::AreaRule& rule) {
    return std::string{rule.prefixDigit, 'x'};
}

// "0x, 1x, 3x or 4x".
std::string PrefixList() {
    std::string list;
    for (int32_t area = kAreaCoils; const modbus::AreaRule* rule = modbus::FindAreaRule(area); ++area) {
        const bool last = modbus::FindAreaRule(area + 1) == nullptr;
        list += (list.empty() ? "" : last ? " or " : ", ") + PrefixText(*rule);
    }
    return list;
}

std::string TypeMismatch(const modbus::AreaRule& rule, int16_t dataType) {
    const bool bits = modbus::AcceptsType(rule, kTypeBit);
    return std::string("type ") + DataTypeText(dataType) + " does not fit area " + PrefixText(rule) + ": " +
           (bits ? "bit areas take " : "register areas take ") + DataTypeNames(rule.typeMask);
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string CheckTagAddress(const std::string& address, int16_t dataType) {
    const modbus::AreaRule* area = modbus::FindAreaRule(FindArea(address));
    if (area == nullptr) return "tag address " + Quoted(address) + " must start with " + PrefixList();
    std::vector<std::string> parts = Split(address.substr(2), ',');
    if (parts.size() > 2 || !IsDigits(parts[0])) {
        return "tag address " + Quoted(address) + " needs an item number after " + address.substr(0, 2) +
               " and at most one ',count' (e.g. 4x100 or 4x100,8)";
    }
    int64_t number = 0;
    if (!ParseInteger(parts[0], modbus::kMinItemAddress, modbus::kMaxItemAddress, number)) {
        return "tag address " + Quoted(address) + " is out of range: items are numbered " +
               std::to_string(modbus::kMinItemAddress) + ".." + std::to_string(modbus::kMaxItemAddress);
    }
    int64_t count = 0;
    if (parts.size() == 2 && (!IsDigits(parts[1]) || !ParseInteger(parts[1], 1, area->maxCount, count))) {
        return "tag address " + Quoted(address) + ": the count after ',' must be 1.." +
               std::to_string(area->maxCount) + " in area " + PrefixText(*area);
    }
    return modbus::AcceptsType(*area, dataType) ? "" : TypeMismatch(*area, dataType);
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
               " or the codes " + DataTypeCodes();
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
    const int32_t area = FindArea(address);
    return area == kAreaDiscreteInputs || area == kAreaInputRegisters;
}
