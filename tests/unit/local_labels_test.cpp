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
    EXPECT_EQ(g_label_count, 1);
}

TEST_F(LocalLabels, OneScopeHoldsAtMost1023NamesOf32Characters) {
    char name[40];
    std::uint32_t length = 0;
    for (int i = 0; i <= 1023; ++i) {
        std::snprintf(name, sizeof name, "%032d", i);
        ASSERT_EQ(lookup_local_label(name, &length), i < 1023 ? i : -1);
    }
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(g_label_count, 1023);
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
}

}  // namespace
}  // namespace keston
