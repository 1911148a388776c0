#include <gtest/gtest.h>

#include <string>

#include "driver/NumberRule.h"

namespace {

CNumberRule StationRule() {
    CNumberRule rule;
    rule.SetRule(10, 1, 254);
    return rule;
}

TEST(StationRule, AcceptsDecimalStationsOneTo254) {
    CNumberRule rule = StationRule();
    const struct { const char* text; int32_t station; } cases[] = {
        {"1", 1}, {"254", 254}, {"007", 7}, {"0000000000000000000000000000012", 12}};
    for (const auto& c : cases) {
        int32_t station = -1;
        EXPECT_EQ(rule.Parse(c.text, &station), 1) << c.text;
        EXPECT_EQ(station, c.station) << c.text;
    }
}

TEST(StationRule, RefusesAnythingElseAndLeavesTheNumberAlone) {
    CNumberRule rule = StationRule();
    const std::string huge(400, '9');
    const char* texts[] = {"0",  "255", "1000", "",     "12a", " 1",         "1 ",
                           "+5", "-1",  "0x10", "\xb1", "4294967297", huge.c_str()};
    for (const char* text : texts) {
        int32_t station = 77;
        EXPECT_EQ(rule.Parse(text, &station), 0) << text;
        EXPECT_EQ(station, 77) << text;
    }
}

TEST(StationRule, NullTextOrNumberIsRefused) {
    CNumberRule rule = StationRule();
    int32_t station = 77;
    EXPECT_EQ(rule.Parse(nullptr, &station), 0);
    EXPECT_EQ(rule.Parse("5", nullptr), 0);
    EXPECT_EQ(station, 77);
}

TEST(StationRule, AnInvalidRuleIsRefusedAndTheOldOneStays) {
    CNumberRule rule = StationRule();
    EXPECT_EQ(rule.SetRule(10, 5, 4), 0);
    EXPECT_EQ(rule.SetRule(-1, 0, 10), 0);
    int32_t station = 0;
    EXPECT_EQ(rule.Parse("254", &station), 1);
    EXPECT_EQ(rule.Parse("0", &station), 0);
}

}  // namespace
