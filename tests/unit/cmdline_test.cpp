#include <gtest/gtest.h>

#include <string>

#include "cmdline/command_line.h"
#include "cmdline/numbers.h"

namespace keston {
namespace {

struct NumberCase {
    const char* text;
    std::uint32_t value;
    bool valid;
};

void expect_numbers(std::uint32_t (*parse)(const char*), std::initializer_list<NumberCase> cases) {
    for (const NumberCase& c : cases) {
        EXPECT_EQ(parse(c.text), c.value) << c.text;
        EXPECT_EQ(g_number_error, c.valid ? 0u : 1u) << c.text;
    }
}

// clang-format off
TEST(ParseNumbers, DecimalTakesLeadingZerosAndNineDigitsHexEightInEitherCase) {
    expect_numbers(parse_decimal, {
        {"", 0, true}, {"000", 0, true}, {"08", 8, true}, {"0000000000064", 64, true}, {"999999999", 999999999, true},
        {"1234567890", 0, false}, {"4x", 0, false}, {"-1", 0, false}, {"+4", 0, false}, {" 4", 0, false}});
    expect_numbers(parse_hex, {
        {"", 0, true}, {"FFFFFFFF", 0xFFFFFFFF, true}, {"000000001", 1, true}, {"0aBc", 0xABC, true}, {"abcdef", 0xABCDEF, true}, {"ABCDEF", 0xABCDEF, true},
        {"100000000", 0, false}, {"0x10", 0, false}, {"10h", 0, false}});
}

TEST(ApplyDefaultExtension, AddsAsmOnlyWhenTheNameHasNoDotAnywhere) {
    const std::string n249(249, 'n');
    const struct {
        std::string name;
        int result;
        std::string stored;
    } cases[] = {
        {"in", 0, "in.ASM"}, {"in.asm", 0, "in.asm"}, {"prog.", 0, "prog."}, {"../src/prog", 0, "../src/prog"},
        {"/dev/stdout", 0, "/dev/stdout"}, {"/dev", 0, "/dev.ASM"},
        {n249, 0, n249 + ".ASM"}, {n249 + "n", 1, ""},
        {n249 + "nn.txt", 0, n249 + "nn.txt"}, {n249 + "nnn.txt", 1, ""}};  // 255 and 256 characters
    for (const auto& c : cases) {
        char stored[FILE_NAME_SIZE] = "";
        EXPECT_EQ(apply_default_extension(c.name.c_str(), stored), c.result) << c.name;
        EXPECT_EQ(c.result == 0 ? std::string(stored) : "", c.stored);
    }
}
// clang-format on

}  // namespace
}  // namespace keston
