#include "transform/local_labels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/decimal.h"
#include "line_buffer.h"

namespace keston {
namespace {

class LocalLabels : public ::testing::Test {
   protected:
    void SetUp() override {
        g_label_prefix[0] = g_label_prefix[1] = '@';
        reset_label_state();
        g_line_number = 7;
    }

    static std::string label(const std::string& line) { return test::run_on_line(line, process_local_labels); }
    static std::string fatal(const std::string& text) { return "\n\r?KESTON-F-" + text + "\n\r"; }

    static void expect_sequence(const std::vector<std::pair<std::string, std::string>>& lines) {
        for (const auto& [line, expected] : lines) EXPECT_EQ(label(line), expected) << "from: " << line;
    }
};

// clang-format off
TEST_F(LocalLabels, FirstByteDecidesWhetherAScopeOpens) {
    expect_sequence({
        {"@@a", "a_0000"}, {"\t@@b", "\tb_0001"}, {" @@a", " a_0000"}, {"#@@b", "#b_0001"}, {"/@@a", "/a_0000"},
        {";@@b", ";b_0001"}, {"@x @@b", "@x b_0002"}, {"_ @@b", "_ b_0003"}, {". @@b", ". b_0004"},
        {"1 @@b", "1 b_0005"}, {"\x80 @@b", "\x80 b_0006"}, {"", ""}, {"@@b", "b_0006"}});
}

TEST_F(LocalLabels, NamesEndAtDelimitersAndMatchByCaseAndByBeginning) {
    expect_sequence({
        {"p:", "p:"}, {" @@a@@b", " a@@b_0000"},
        {" @@a+@@b", " a_0000+b_0001"},  // "a" takes the number of the stored "a@@b"
        {" @@@x", " @x_0002"}, {" @@Loop @@loop", " Loop_0003 loop_0004"}, {" jmp @@", " jmp @@"},
        {" @@@", " @_0002"}, {" '@@a';@@a.x", " 'a_0000';a_0000.x"},
        {"q:", "q:"}, {" @@xlfla @@xl", " xlfla_0005 xl_0005"}});
    // The same behind 16 names, which a scope looks up in its index: "xlfl" and "xlfla" hash to one slot.
    std::string names = " ", numbered = " ";
    for (int i = 10; i < 26; ++i) {
        const std::string number = std::to_string(i);
        names.append("@@n").append(number).append(" ");
        const std::string label_number = std::to_string(i - 4);
        numbered.append("n").append(number).append("_").append(4 - label_number.size(), '0').append(label_number);
        numbered.append(" ");
    }
    expect_sequence({{"r:", "r:"}, {names, numbered}, {" @@xlfla @@xl", " xlfla_0022 xl_0022"}});
}

// A refused name of 33 characters takes no number: the next scope begins at 3.
TEST_F(LocalLabels, NamesLongerThanABlockAreComparedWholeUpTo32Characters) {
    const std::string n16(16, 'n'), n32(32, 'n');
    expect_sequence({
        {"p:", "p:"}, {" @@" + n16 + "axyz", " " + n16 + "axyz_0000"}, {" @@" + n16 + "a", " " + n16 + "a_0000"},
        {" @@" + n16 + "b", " " + n16 + "b_0001"}, {" @@" + n16, " " + n16 + "_0000"},
        {" @@" + n32 + ":", " " + n32 + "_0002:"}, {" @@" + n32 + "m", fatal("Local label name is too long in line 7")},
        {"q @@x", "q x_0003"}});
}

TEST_F(LocalLabels, OutputLineHoldsAt1023CharactersCountingEveryDigit) {
    const std::string x1015(1015, 'x');
    const std::string too_long = fatal("Line 7 is too long after label processing");
    expect_sequence({{x1015 + "x@@ab", x1015 + "xab_0000"}, {x1015 + "xx@@ab", too_long},
                     {x1015 + "@@ab+", x1015 + "ab_0002+"}, {x1015 + "x@@ab+", too_long}});
    g_label_count = 10000;
    expect_sequence({{x1015 + "x@@ab", too_long}, {x1015 + "@@ab", x1015 + "ab_10001"}});
}
// clang-format on

// The list keeps its last byte free: behind 1022 names of 32 characters and one
// of 31, one more name of 31 characters fits and one of 32 does not.
TEST_F(LocalLabels, NameListKeepsItsLastByteFree) {
    const auto name = [](std::size_t size, int number) {
        const std::string digits = std::to_string(number);
        return std::string(size - digits.size(), size == 32 ? 'n' : 'm') + digits;
    };
    std::uint32_t length = 0;
    for (int i = 0; i < 1022; ++i) ASSERT_EQ(lookup_local_label(name(32, i).c_str(), &length), i);
    const std::string m0 = name(31, 0), n1022 = name(32, 1022), m1 = name(31, 1);
    EXPECT_EQ(label(" @@" + m0), " " + m0 + "_1022");
    EXPECT_EQ(label(" @@" + n1022), fatal("Local label name array oveflow at line 7"));
    EXPECT_EQ(label(" @@" + m1), " " + m1 + "_1023");
}

// In a scope crowded with names that share their beginnings, every name and
// every leading part of it gets the number that a walk of the list gives.
TEST_F(LocalLabels, EveryLeadingPartFindsTheFirstNameThatBeginsWithIt) {
    std::vector<std::string> stored;
    std::uint32_t length = 0;
    for (std::uint32_t i = 1; i <= 3800; ++i) {
        const std::string name = std::to_string(i * 2654435761u % 1000003);
        for (std::size_t size = name.size(); size > 0; --size) {
            const std::string part = name.substr(0, size);
            const auto first = std::ranges::find_if(stored, [&](const std::string& s) { return s.starts_with(part); });
            const auto walked = first - stored.begin();
            if (first == stored.end()) stored.push_back(part);
            ASSERT_EQ(lookup_local_label(part.c_str(), &length), walked) << part;
        }
    }
}

TEST_F(LocalLabels, NumbersFrom10000OnGetMoreDigits) {
    for (const std::uint64_t start : {9998ULL, 2147483647ULL, 4294967295ULL}) {  // past 4 digits, 31 and 32 bits
        g_label_count = start;
        EXPECT_EQ(label("p @@x @@y"), "p x_" + std::to_string(start) + " y_" + std::to_string(start + 1));
        EXPECT_EQ(label("q @@y"), "q y_" + std::to_string(start + 2));
    }
}

TEST(Decimal, DigitsAreCountedAndWrittenWithZerosInFrontUpToTwentyOfThem) {
    const struct {
        std::uint64_t number;
        std::size_t least;
        std::string text;
    } cases[] = {{0, 1, "0"},
                 {0, 4, "0000"},
                 {9, 1, "9"},
                 {10, 1, "10"},
                 {99, 1, "99"},
                 {100, 1, "100"},
                 {7, 4, "0007"},
                 {9999, 4, "9999"},
                 {10000, 4, "10000"},
                 {123456789, 1, "123456789"},
                 {18446744073709551615ULL, 4, "18446744073709551615"}};
    for (const auto& c : cases) {
        const std::size_t count = decimal_digits(c.number, c.least);
        ASSERT_EQ(count, c.text.size()) << c.number;
        std::string written(count + 2, '#');
        write_digits(written.data() + 1 + count, c.number, count);
        EXPECT_EQ(written, "#" + c.text + "#") << c.number;
    }
}

}  // namespace
}  // namespace keston
