#pragma once
// The host's tag records. Their byte layouts are binding: the host allocates
// them and reads and writes the fields at these offsets.
#include <cstddef>
#include <cstdint>

enum DataType : int16_t {
    kTypeBit = 1,
    kTypeInt16 = 4,
    kTypeUInt16 = 8,
    kTypeBcd = 16,
    kTypeUInt32 = 32,
    kTypeFloat = 128,
};

enum Area : int16_t {
    kAreaCoils = 0,
    kAreaDiscreteInputs = 1,
    kAreaInputRegisters = 2,
    kAreaHoldingRegisters = 3,
};

struct TagAddress {
    int16_t area;
    uint8_t unused2[2];
    int32_t address;  // one-based, as written in the tag text
    int16_t count;    // items per request from the ",n" suffix; 0 without one
    uint8_t unused10[14];
    int16_t dataType;
    uint8_t unused26[2];
};
static_assert(offsetof(TagAddress, area) == 0, "TagAddress.area");
static_assert(offsetof(TagAddress, address) == 4, "TagAddress.address");
static_assert(offsetof(TagAddress, count) == 8, "TagAddress.count");
static_assert(offsetof(TagAddress, dataType) == 24, "TagAddress.dataType");
static_assert(sizeof(TagAddress) == 28, "TagAddress size");

struct TagValue {
    uint32_t bitValue;
    uint8_t unused4[4];
    int32_t intValue;
    uint16_t wordValue;
    uint8_t unused14[2];
    int32_t bcdValue;
    uint32_t dwordValue;
    uint8_t unused24[4];
    float floatValue;
};
static_assert(offsetof(TagValue, bitValue) == 0, "TagValue.bitValue");
static_assert(offsetof(TagValue, intValue) == 8, "TagValue.intValue");
static_assert(offsetof(TagValue, wordValue) == 12, "TagValue.wordValue");
static_assert(offsetof(TagValue, bcdValue) == 16, "TagValue.bcdValue");
static_assert(offsetof(TagValue, dwordValue) == 20, "TagValue.dwordValue");
static_assert(offsetof(TagValue, floatValue) == 28, "TagValue.floatValue");
static_assert(sizeof(TagValue) == 32, "TagValue size");
static_assert(sizeof(float) == 4, "IEEE single");
