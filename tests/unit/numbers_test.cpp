#include <gtest/gtest.h>

#include "cmdline/numbers.h"

namespace keston {
namespace {

struct NumberCase {
    const char* text;
    std::uint32_t value;
    bool valid;
};

TEST(ParseDecimal, AcceptsLeadingZerosAndNineSignificantDigits) {
    const NumberCase cases[] = {
        {"", 0, true},           {"0", 0, true},           {"000", 0, true},
        {"08", 8, true},         {"0000000000064", 64, true}, {"999999999", 999999999, true},
        {"1234567890", 0, false}, {"4x", 0, false},         {"x", 0, false},
        {"-1", 0, false},        {"+4", 0, false},         {" 4", 0, false},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(parse_decimal(c.text), c.value) << c.text;
        EXPECT_EQ(g_number_error, c.valid ? 0u : 1u) << c.text;
    }
}

TEST(ParseHex, AcceptsEightSignificantDigitsInEitherCase) {
    const NumberCase cases[] = {
        {"", 0, true},           {"FFFFFFFF", 0xFFFFFFFF, true}, {"ffffffff", 0xFFFFFFFF, true},
        {"000000001", 1, true},  {"0aBc", 0xABC, true},          {"100000000", 0, false},
        {"0x10", 0, false},      {"10h", 0, false},              {"G", 0, false},
    };
    for (const NumberCase& c : cases) {
        EXPECT_EQ(parse_hex(c.text), c.value) << c.text;
        EXPECT_EQ(g_number_error, c.valid ? 0u : 1u) << c.text;
    }
}

}  // namespace
}  // namespace keston
