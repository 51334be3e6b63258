#include "transform/tab_compression.h"

#include <gtest/gtest.h>

#include <string>

#include "line_buffer.h"

namespace keston {
namespace {

TEST(CompressTabs, TurnsRunsThatReachAStopIntoTabs) {
    const struct {
        std::string line;
        std::uint32_t width;
        std::string compressed;
    } cases[] = {
        {"        mov", 8, "\tmov"},
        {std::string(16, ' ') + "x", 8, "\t\tx"},
        {"       x", 8, "       x"},
        {"abc     x", 8, "abc\tx"},
        {"abc    x", 8, "abc    x"},
        {"abc      x", 8, "abc\t x"},
        {"x         y", 8, "x\t  y"},
        {"abcdefg h", 8, "abcdefg\th"},
        {"mov ax, bx", 4, "mov\tax,\tbx"},
        {"db \"a      b\"", 8, "db \"a      b\""},
        {"db \"a          x", 8, "db \"a          x"},
        {"\"ab     x", 8, "\"ab     x"},
        {"abcde,' '", 8, "abcde,'\t'"},
        {"a b c", 1, "a\tb\tc"},
        {"a\t b", 8, "a\t b"},
    };
    for (const auto& c : cases) {
        test::load_line(c.line);
        g_compress_tab = c.width;
        compress_tabs();
        EXPECT_EQ(g_line_toggle, 1);
        EXPECT_EQ(test::current(), c.compressed) << "from: " << c.line << " width " << c.width;
    }
}

TEST(CompressTabs, ReadsTheCurrentLineAndWritesTheOther) {
    test::load_line("");
    compress_tabs();
    EXPECT_EQ(g_line_toggle, 0);
    std::strcpy(g_line_b, "        b");
    g_line_toggle = 1;
    g_compress_tab = 8;
    compress_tabs();
    EXPECT_EQ(g_line_toggle, 0);
    EXPECT_STREQ(g_line_a, "\tb");
}

}  // namespace
}  // namespace keston
