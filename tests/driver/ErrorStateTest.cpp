#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/DriverError.h"

namespace {

std::string Bytes(const char* text) {
    return std::string(text, std::strlen(text) + 1);
}

TEST(ErrorState, EveryCodeHasItsGbkText) {
    const char* const expected[] = {
        "OK",
        "\xb3\xf5\xca\xbc\xbb\xaf\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3!",
        "\xb4\xed\xce\xf3\xb5\xc4\xc9\xe8\xb1\xb8\xb5\xd8\xd6\xb7!",
        "\xb2\xbb\xd6\xa7\xb3\xd6\xb8\xc3\xbc\xc4\xb4\xe6\xc6\xf7!",
        "\xb4\xed\xce\xf3\xb5\xc4\xca\xfd\xbe\xdd\xc0\xe0\xd0\xcd!",
        "\xb6\xc1\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3!",
        "\xd0\xb4\xc9\xe8\xb1\xb8\xb4\xed\xce\xf3!",
        "\xc9\xe8\xb1\xb8\xb3\xac\xca\xb1\xb2\xbb\xcf\xec\xd3\xa6!",
        "\xce\xb4\xd6\xaa\xb4\xed\xce\xf3!",
    };
    CDriverError error;
    for (int code = 0; code <= 8; ++code) {
        ASSERT_EQ(error.SetCode(code), 1);
        EXPECT_EQ(Bytes(error.GetText(0)), Bytes(expected[code])) << "code " << code;
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
    EXPECT_STREQ(error.GetText(1), "OK");
    error.SetCode(2);
    const char* first = error.GetText(1);
    EXPECT_EQ(Bytes(first), Bytes("\xb4\xed\xce\xf3\xb5\xc4\xc9\xe8\xb1\xb8\xb5\xd8\xd6\xb7!"));
    EXPECT_STREQ(error.GetText(1), "OK");
    EXPECT_EQ(static_cast<unsigned char>(first[0]), 0xb4);
}

TEST(ErrorState, ReadingWithoutResetKeepsTheCode) {
    CDriverError error;
    error.SetCode(5);
    error.GetText(0);
    EXPECT_STRNE(error.GetText(1), "OK");
}

TEST(ErrorState, CustomCodeAndCodesOutsideTheTableAreRefused) {
    CDriverError error;
    error.SetCode(3);
    EXPECT_EQ(error.SetCode(9), 0);
    EXPECT_EQ(error.SetCode(10), 0);
    EXPECT_EQ(error.SetCode(-1), 0);
    EXPECT_EQ(Bytes(error.GetText(1)), Bytes("\xb2\xbb\xd6\xa7\xb3\xd6\xb8\xc3\xbc\xc4\xb4\xe6\xc6\xf7!"));
}

}  // namespace
