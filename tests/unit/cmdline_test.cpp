#include <gtest/gtest.h>

#include <string>
#include <utility>

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
    const std::pair<std::string, std::string> cases[] = {  // the name and what is stored, "" when it is refused
        {"in", "in.ASM"}, {"in.asm", "in.asm"}, {"prog.", "prog."}, {"../src/prog", "../src/prog"},
        {"/dev/stdout", "/dev/stdout"}, {"/dev", "/dev.ASM"}, {n249, n249 + ".ASM"}, {n249 + "n", ""},
        {n249 + "nn.txt", n249 + "nn.txt"}, {n249 + "nnn.txt", ""}};  // 255 and 256 characters
    for (const auto& [name, stored] : cases) {
        char buffer[FILE_NAME_SIZE] = "";
        EXPECT_EQ(apply_default_extension(name.c_str(), buffer), stored.empty() ? 1 : 0) << name;
        EXPECT_EQ(stored.empty() ? "" : std::string(buffer), stored);
    }
}
// clang-format on

}  // namespace
}  // namespace keston
