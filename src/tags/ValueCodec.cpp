#include "tags/ValueCodec.h"

#include <cstdio>
#include <cstring>

namespace modbus {

int32_t RegisterToInt(uint32_t word) {
    return static_cast<int16_t>(static_cast<uint16_t>(word));
}

uint16_t RegisterToWord(uint32_t word) {
    return static_cast<uint16_t>(word);
}

int32_t DecodeBcd(uint32_t word) {
    char digits[5];
    std::snprintf(digits, sizeof(digits), "%04X", static_cast<unsigned>(RegisterToWord(word)));
    int32_t decoded = 0;
    for (int i = 0; digits[i] != '\0'; ++i) {
        if (digits[i] > '9') return 0;
        decoded = decoded * 10 + (digits[i] - '0');
    }
    return decoded;
}

uint16_t EncodeBcd(int32_t value) {
    const int32_t remainder = value % 10000;
    uint32_t magnitude = static_cast<uint32_t>(remainder < 0 ? -remainder : remainder);
    uint32_t hex = 0;
    for (int shift = 0; magnitude != 0; shift += 4, magnitude /= 10) hex |= (magnitude % 10) << shift;
    return static_cast<uint16_t>(remainder < 0 ? 0u - hex : hex);
}

float DWordToFloat(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

uint32_t FloatToDWord(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

void FillTagValue(TypeGroup group, uint32_t cached, TagValue& value) {
    switch (group) {
    case TypeGroup::kBit:
        value.bitValue = cached;
        break;
    case TypeGroup::kWord:
        value.intValue = RegisterToInt(cached);
        value.wordValue = RegisterToWord(cached);
        value.bcdValue = DecodeBcd(cached);
        break;
    case TypeGroup::kDWord:
        value.dwordValue = cached;
        value.floatValue = DWordToFloat(cached);
        break;
    }
}

uint16_t WordToWrite(int32_t dataType, const TagValue& value) {
    switch (dataType) {
    case kTypeInt16:
        return static_cast<uint16_t>(value.intValue);
    case kTypeBcd:
        return EncodeBcd(value.bcdValue);
    default:
        return value.wordValue;
    }
}

uint32_t DWordToWrite(int32_t dataType, const TagValue& value) {
    return dataType == kTypeFloat ? FloatToDWord(value.floatValue) : value.dwordValue;
}

bool CoilIsOn(const TagValue& value) {
    return value.bitValue == 1;
}

}  // namespace modbus
