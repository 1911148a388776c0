#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/DriverError.h"
#include "support/ErrorTexts.h"

namespace {

std::string Bytes(const char* text) {
    return std::string(text, std::strlen(text) + 1);
}

TEST(ErrorState, EveryCodeHasItsGbkText) {
    CDriverError error;
    for (int code = 0; code <= 8; ++code) {
        ASSERT_EQ(error.SetCode(code), 1);
        EXPECT_EQ(Bytes(error.GetText(0)), Bytes(kErrorTexts[code])) << "code " << code;
    }
}

TEST(ErrorState, WriteErrorTextEndsInExclamationMarkAndZero) {
    CDriverError error;
    error.SetCode(6);
    const char* text = error.GetText(1);
    size_t length = std::strlen(text);
    ASSERT_EQ(length, 11u);
    EXPECT_EQ(static_cast<unsigned char>(text[length - 1]), 0x21);
    EXPECT_EQ(text[length], '\0');
}

TEST(ErrorState, ReadingWithResetClearsTheCodeAndKeepsTheTextValid) {
    CDriverError error;
    EXPECT_STREQ(error.GetText(1), kErrorTexts[0]);
    error.SetCode(2);
    const char* first = error.GetText(1);
    EXPECT_EQ(Bytes(first), Bytes(kErrorTexts[2]));
    EXPECT_STREQ(error.GetText(1), kErrorTexts[0]);
    EXPECT_EQ(static_cast<unsigned char>(first[0]), 0xb4);
}

TEST(ErrorState, ReadingWithoutResetKeepsTheCode) {
    CDriverError error;
    error.SetCode(5);
    error.GetText(0);
    EXPECT_STRNE(error.GetText(1), kErrorTexts[0]);
}

TEST(ErrorState, CustomCodeAndCodesOutsideTheTableAreRefused) {
    CDriverError error;
    error.SetCode(3);
    EXPECT_EQ(error.SetCode(9), 0);
    EXPECT_EQ(error.SetCode(10), 0);
    EXPECT_EQ(error.SetCode(-1), 0);
    EXPECT_EQ(Bytes(error.GetText(1)), Bytes(kErrorTexts[3]));
}

}  // namespace
