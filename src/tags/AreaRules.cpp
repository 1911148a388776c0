#include "tags/AreaRules.h"

namespace modbus {
namespace {

constexpr uint32_t kBitTypes = kTypeBit;
constexpr uint32_t kRegisterTypes = kTypeInt16 | kTypeUInt16 | kTypeBcd | kTypeUInt32 | kTypeFloat;

// Indexed by Area.
constexpr AreaRule kAreaRules[] = {
    {'0', kBitTypes, 128, 1},
    {'1', kBitTypes, 128, 2},
    {'3', kRegisterTypes, 32, 4},
    {'4', kRegisterTypes, 32, 3},
};

}  // namespace

const AreaRule* FindAreaRule(int32_t area) {
    constexpr int32_t kAreaCount = sizeof(kAreaRules) / sizeof(kAreaRules[0]);
    return area >= 0 && area < kAreaCount ? &kAreaRules[area] : nullptr;
}

bool AcceptsType(const AreaRule& rule, int32_t dataType) {
    const bool singleBit = dataType > 0 && (dataType & (dataType - 1)) == 0;
    return singleBit && (rule.typeMask & static_cast<uint32_t>(dataType)) != 0;
}

TypeGroup GroupOf(int32_t dataType) {
    if (dataType == kTypeBit) return TypeGroup::kBit;
    if (dataType == kTypeUInt32 || dataType == kTypeFloat) return TypeGroup::kDWord;
    return TypeGroup::kWord;
}

uint32_t ItemsSpanned(int32_t dataType, uint32_t count) {
    return GroupOf(dataType) == TypeGroup::kDWord ? count + 1 : count;
}

bool SpanFits(int32_t dataType, int32_t address, int32_t count) {
    constexpr int64_t kItemsInArea = 65536;
    return address - 1 + int64_t{ItemsSpanned(dataType, static_cast<uint32_t>(count))} <= kItemsInArea;
}

bool IsParsedRecord(const TagAddress& tag) {
    const AreaRule* rule = FindAreaRule(tag.area);
    return rule != nullptr && AcceptsType(*rule, tag.dataType) && tag.address >= kMinItemAddress &&
           tag.address <= kMaxItemAddress && tag.count >= 0 && tag.count <= rule->maxCount &&
           SpanFits(tag.dataType, tag.address, tag.count);
}

}  // namespace modbus
