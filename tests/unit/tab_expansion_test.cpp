#include "transform/tab_expansion.h"

#include <gtest/gtest.h>

#include <string>

#include "line_buffer.h"

namespace keston {
namespace {

const std::string TOO_LONG = "<too long>";

std::string expand(const std::string& line, std::uint32_t width) {
    test::load_line(line);
    g_expand_tab = width;
    if (expand_tabs() != 0) return TOO_LONG;
    return test::current();
}

TEST(ExpandTabs, FillsToTheNextStopAndDropsTrailingBlanks) {
    const std::string x1015(1015, 'x');
    const std::string x1016(1016, 'x');
    const struct {
        std::string line;
        std::uint32_t width;
        std::string expanded;
    } cases[] = {
        {"ab\tc", 8, "ab      c"},
        {"\tx", 8, "        x"},
        {"abcdefg\tx", 8, "abcdefg x"},
        {"abcdefgh\tx", 8, "abcdefgh        x"},
        {"x\t", 8, "x"},
        {"x  \t ", 8, "x"},
        {"a b  ", 8, "a b"},
        {" \t ", 8, ""},
        {"\"a\t\"", 8, "\"a      \""},
        {"a\tb\tc", 1, "a b c"},
        {"a\tb", 3, "a  b"},
        {"\t" + x1015, 8, std::string(8, ' ') + x1015},
        {"\t" + x1016, 8, TOO_LONG},
        {x1015 + "\t", 8, x1015},
        {x1016 + "\t", 8, TOO_LONG},
        {std::string(15, '\t'), 64, ""},
        {std::string(16, '\t'), 64, TOO_LONG},
        {std::string(1022, 'y'), 8, std::string(1022, 'y')},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(expand(c.line, c.width), c.expanded) << "line of " << c.line.size() << " width " << c.width;
        EXPECT_EQ(g_line_toggle, 1);
    }
}

TEST(ExpandTabs, LeavesAnEmptyLineWhereItIs) {
    EXPECT_EQ(expand("", 8), "");
    EXPECT_EQ(g_line_toggle, 0);
    EXPECT_EQ(g_line_b[0], 0x55);
}

}  // namespace
}  // namespace keston
