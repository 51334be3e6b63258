#include "transform/local_labels.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "line_buffer.h"

namespace keston {
namespace {

using test::FAILED;

class LocalLabels : public ::testing::Test {
   protected:
    void SetUp() override {
        g_label_prefix[0] = g_label_prefix[1] = '@';
        g_label_count = g_label_base = 0;
        g_label_names[0] = '\0';
    }

    static std::string label(const std::string& line) { return test::run_on_line(line, process_local_labels); }

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
        {" @@@", " @_0002"}, {" '@@a';@@a.x", " 'a_0000';a_0000.x"}});
}

TEST_F(LocalLabels, NamesLongerThanABlockAreComparedWhole) {
    const std::string n16(16, 'n');
    expect_sequence({
        {"p:", "p:"}, {" @@" + n16 + "axyz", " " + n16 + "axyz_0000"}, {" @@" + n16 + "a", " " + n16 + "a_0000"},
        {" @@" + n16 + "b", " " + n16 + "b_0001"}, {" @@" + n16, " " + n16 + "_0000"}});
}
// clang-format on

TEST_F(LocalLabels, NamesOfMoreThan32CharactersAreRefused) {
    const std::string name32(32, 'n');
    EXPECT_EQ(label(" @@" + name32 + ":"), " " + name32 + "_0000:");
    EXPECT_EQ(label(" @@" + name32 + "m"), FAILED);
    EXPECT_EQ(g_label_count, 1u);
}

// A name fits while its bytes, its NUL and the list's end mark stay below the list's size.
TEST_F(LocalLabels, NameListTakesNamesOfAnyLengthUpToItsLastByteButOne) {
    std::size_t end_mark = 0;
    std::int64_t next = 0;
    std::uint32_t length = 0;
    const auto add = [&](std::size_t size) {
        char name[40];
        std::snprintf(name, sizeof name, "%05lld%s", static_cast<long long>(next), std::string(size - 5, 'n').c_str());
        const std::int64_t number = lookup_local_label(name, &length);
        if (number < 0) return false;
        end_mark += size + 1;
        return number == next++;
    };
    while (LABEL_NAMES_SIZE - 3 - end_mark > 39) ASSERT_TRUE(add(6 + next % 27));
    if (LABEL_NAMES_SIZE - 3 - end_mark > MAX_LABEL_NAME) {
        ASSERT_TRUE(add(6));
    }
    const std::size_t last = LABEL_NAMES_SIZE - 3 - end_mark;
    EXPECT_FALSE(add(last + 1));
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(add(last));
}

TEST_F(LocalLabels, OutputLineHoldsAt1023CharactersCountingEveryDigit) {
    const std::string x1015(1015, 'x');
    EXPECT_EQ(label(x1015 + "x@@ab"), x1015 + "xab_0000");
    EXPECT_EQ(label(x1015 + "xx@@ab"), FAILED);
    EXPECT_EQ(label(x1015 + "@@ab+"), x1015 + "ab_0002+");
    EXPECT_EQ(label(x1015 + "x@@ab+"), FAILED);
    g_label_count = 10000;
    EXPECT_EQ(label(x1015 + "x@@ab"), FAILED);
    EXPECT_EQ(label(x1015 + "@@ab"), x1015 + "ab_10001");
}

TEST_F(LocalLabels, NumbersFrom10000OnGetMoreDigitsAndStayUnique) {
    char expected[32];
    for (int i = 0; i < 12000; ++i) {
        std::snprintf(expected, sizeof expected, "p x_%04d", i);
        ASSERT_EQ(label("p @@x"), expected);
    }
    for (const std::uint64_t start : {2147483647ULL, 4294967295ULL}) {  // past 31 and 32 bits
        g_label_count = start;
        EXPECT_EQ(label("p @@x @@y"), "p x_" + std::to_string(start) + " y_" + std::to_string(start + 1));
        EXPECT_EQ(label("q @@y"), "q y_" + std::to_string(start + 2));
    }
}

}  // namespace
}  // namespace keston
