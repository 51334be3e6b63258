#include "transform/local_labels.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "line_buffer.h"

namespace keston {
namespace {

const std::string FAILED = "<failed>";

class LocalLabels : public ::testing::Test {
protected:
    void SetUp() override {
        g_label_prefix[0] = g_label_prefix[1] = '@';
        g_label_count = g_label_base = 0;
        g_label_names[0] = '\0';
    }

    static std::string label(const std::string& line) {
        test::load_line(line);
        if (process_local_labels() != 0) return FAILED;
        return test::current();
    }

    static void expect_sequence(const std::vector<std::pair<std::string, std::string>>& lines) {
        for (const auto& [line, expected] : lines) EXPECT_EQ(label(line), expected) << "from: " << line;
    }
};

TEST_F(LocalLabels, FirstByteDecidesWhetherAScopeOpens) {
    expect_sequence({
        {"@@a", "a_0000"},  {"\t@@b", "\tb_0001"}, {" @@a", " a_0000"},   {"#@@b", "#b_0001"},
        {"/@@a", "/a_0000"}, {";@@b", ";b_0001"},   {"@x @@b", "@x b_0002"}, {"_ @@b", "_ b_0003"},
        {". @@b", ". b_0004"}, {"1 @@b", "1 b_0005"}, {"\x80 @@b", "\x80 b_0006"}, {"@@b", "b_0006"},
    });
}

TEST_F(LocalLabels, NamesEndAtDelimitersAndMatchByCase) {
    expect_sequence({
        {"p:", "p:"},
        {" @@a@@b", " a@@b_0000"},
        {" @@a+@@b", " a_0000+b_0001"},  // "a" takes the number of the stored "a@@b"
        {" @@@x", " @x_0002"},
        {" @@Loop @@loop", " Loop_0003 loop_0004"},
        {" jmp @@", " jmp @@"},
        {" @@@", " @_0002"},
        {" '@@a';@@a.x", " 'a_0000';a_0000.x"},
    });
}

TEST_F(LocalLabels, NamesOfMoreThan32CharactersAreRefused) {
    const std::string name32(32, 'n');
    EXPECT_EQ(label(" @@" + name32 + ":"), " " + name32 + "_0000:");
    EXPECT_EQ(label(" @@" + name32 + "m"), FAILED);
    EXPECT_EQ(g_label_count, 1);
}

TEST_F(LocalLabels, OneScopeHoldsAtMost1023NamesOf32Characters) {
    char name[40];
    std::uint32_t length = 0;
    for (int i = 0; i < 1023; ++i) {
        std::snprintf(name, sizeof name, "%032d", i);
        ASSERT_EQ(lookup_local_label(name, &length), i);
    }
    std::snprintf(name, sizeof name, "%032d", 1023);
    EXPECT_EQ(lookup_local_label(name, &length), -1);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(g_label_count, 1023);
}

TEST_F(LocalLabels, OutputLineHoldsAt1023Characters) {
    const struct {
        std::string line;
        bool fits;
    } cases[] = {
        {std::string(1016, 'x') + "@@ab", true},
        {std::string(1017, 'x') + "@@ab", false},
        {std::string(1015, 'x') + "@@ab+", true},
        {std::string(1016, 'x') + "@@ab+", false},
    };
    for (const auto& c : cases) {
        const std::string out = label(c.line);
        EXPECT_EQ(out == FAILED ? 0 : out.size(), c.fits ? 1023u : 0u);
    }
}

TEST_F(LocalLabels, NumbersFrom10000OnGetMoreDigitsAndStayUnique) {
    char expected[32];
    for (int i = 0; i < 12000; ++i) {
        std::snprintf(expected, sizeof expected, "p x_%04d", i);
        ASSERT_EQ(label("p @@x"), expected);
    }
    g_label_count = 10000;  // the fifth digit counts against the line limit
    EXPECT_EQ(label(std::string(1016, 'x') + "@@ab"), FAILED);
    EXPECT_EQ(label(std::string(1015, 'x') + "@@ab"), std::string(1015, 'x') + "ab_10001");
}

}  // namespace
}  // namespace keston
