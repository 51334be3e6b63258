#include <gtest/gtest.h>

#include <string>

#include "line_buffer.h"
#include "transform/chain.h"
#include "transform/comments.h"
#include "transform/local_labels.h"
#include "transform/tab_compression.h"
#include "transform/tab_expansion.h"
#include "transform/tab_round_trip.h"

namespace keston {
namespace {

using test::run_on_line;

struct LineCase {
    std::string before;
    std::string after;
    std::uint32_t width = 8;
};

template <typename Transform>
void expect_lines(Transform transform, std::uint8_t toggle_after, std::initializer_list<LineCase> cases) {
    for (const LineCase& c : cases) {
        g_expand_tab = g_compress_tab = c.width;
        EXPECT_EQ(run_on_line(c.before, transform), c.after) << "from \"" << c.before << "\" width " << c.width;
        EXPECT_EQ(g_line_toggle, c.before.empty() ? 0 : toggle_after) << c.before;
    }
}

// clang-format off
TEST(StripComments, AsmCutsAtTheFirstUnprotectedSemicolonCppAtTheFirstDoubleSlash) {
    expect_lines(strip_asm_comment, 0, {
        {";comment", ""}, {"mov ax,1 ; set", "mov ax,1"}, {"mov ax,1\t;x", "mov ax,1"}, {"   ;x", ""},
        {"mov ax,1   ", "mov ax,1   "}, {"db \"a;b\" ; x", "db \"a;b\""}, {"db \"a;b", "db \"a;b"},
        {"cmp al,';' ; x", "cmp al,';'"}, {"cmp al,'a;'", "cmp al,'a"}, {"x ';x'", "x '"}, {"x ';", "x '"},
        {"mov al,'\"' ; x", "mov al,'\"' ; x"}, {"\"a\";b", "\"a\";b"}, {"\"a;b\"", "\"a"}, {"", ""},
        {std::string(20, ' ') + ";x", ""}, {"mov ax,1" + std::string(16, '\t') + ";x", "mov ax,1"},
        {"mov ax,1 \t" + std::string(30, ' ') + ";x", "mov ax,1"}});
    expect_lines(strip_cpp_comment, 0, {
        {"// note", ""}, {"///x", ""}, {"mov ax,1 // x", "mov ax,1"}, {"  //x", ""}, {"db \"a//b\"", "db \"a"},
        {"a/b/c", "a/b/c"}, {"a/", "a/"}, {"x //", "x"}, {"a \t", "a \t"}, {"", ""},
        {"a" + std::string(17, ' ') + "//x", "a"}});
    const auto both = [] { strip_asm_comment(), strip_cpp_comment(); };
    expect_lines(both, 0, {
        {"mov ax,1 // a ; b", "mov ax,1"}, {"db \"a;b\" // c", "db \"a;b\""}, {"db \"a//b\" ; c", "db \"a"}});
}

TEST(ExpandTabs, FillsToTheNextStopDropsTrailingBlanksAndHoldsTheLimit) {
    const std::string x1015(1015, 'x');
    const std::string x1016(1016, 'x');
    g_line_number = 4294967297;  // line numbers do not wrap at 32 bits
    const std::string failed = "\n\r?KESTON-F-Line 4294967297 is too long after tab conversion\n\r";
    expect_lines(expand_tabs, 1, {
        {"ab\tc", "ab      c"}, {"\tx", "        x"}, {"abcdefg\tx", "abcdefg x"}, {"abcdefgh\tx", "abcdefgh        x"},
        {"x\t", "x"}, {"x  \t ", "x"}, {"a b  ", "a b"}, {" \t ", ""}, {"\"a\t\"", "\"a      \""},
        {"a\tb\tc", "a b c", 1}, {"a\tb", "a  b", 3}, {"\t" + x1015, std::string(8, ' ') + x1015},
        {"\t" + x1016, failed}, {x1015 + "\t", x1015}, {x1016 + "\t", failed},
        {std::string(15, '\t'), "", 64}, {std::string(16, '\t'), failed, 64},
        {std::string(1020, 'x') + "\t", std::string(1020, 'x'), 3}, {std::string(1020, 'x') + "\tz", failed, 3}, {"", ""}});
    EXPECT_EQ(g_line_b[0], 0x55);  // the empty line left the other buffer alone
}

TEST(CompressTabs, TurnsRunsThatReachAStopIntoTabsOutsideDoubleQuotes) {
    expect_lines(compress_tabs, 1, {
        {"        mov", "\tmov"}, {std::string(16, ' ') + "x", "\t\tx"}, {"       x", "       x"},
        {"abc     x", "abc\tx"}, {"abc    x", "abc    x"}, {"abc      x", "abc\t x"}, {"x         y", "x\t  y"},
        {"abcdefg h", "abcdefg\th"}, {"mov ax, bx", "mov\tax,\tbx", 4}, {"db \"a      b\"", "db \"a      b\""},
        {"db \"a          x", "db \"a          x"}, {"\"ab     x", "\"ab     x"}, {"abcde,' '", "abcde,'\t'"},
        {"a b c", "a\tb\tc", 1}, {"a\t      b", "a\t\tb"}, {"", ""}, {"abc     ", "abc\t"},
        {"ab\"cdef\"  x     y", "ab\"cdef\"  x\ty"},  // quoted lines: a run from a stop, a run up to one
        // a quote behind groups already turned into TABs; groups of a whole block and wider
        {"        a       \"  b", "\ta\t\"  b"}, {std::string(16, ' ') + "ab" + std::string(14, ' ') + "c", "\tab\tc", 16},
        {std::string(17, ' ') + "x", "\tx", 17}, {std::string(16, ' ') + "x", std::string(16, ' ') + "x", 17},
        {"\"" + std::string(20, ' ') + "\"x", "\"" + std::string(20, ' ') + "\"x", 20}, {"a" + std::string(20, ' ') + "x", "a\t x", 20},
        {std::string("ab  c") + std::string(13, ' ') + "d", "ab  c\t d", 17},
        {std::string("a") + std::string(40, ' ') + "b", "a\t\t       b", 17},
        {"x\"a\"bc  y", "x\"a\"bc\ty", 4}, {"\"a\"\"b\"  x", "\"a\"\"b\"\tx", 4}});  // strings that end in a group
}

// A line skips both tab steps only when expanding and compressing it again
// gives it back, but for its trailing blanks, which expansion drops: one width
// for both steps (a power of two up to 32), no TAB inside double quotes, no
// blank before a TAB, no space outside
// double quotes at a column right before a stop (which compression would turn
// into a TAB; a string may run on from the span before), an expanded
// length within the limit, and with -l no prefix pair (or prefix of blanks),
// since renaming between the steps moves columns. Each row holds the chain's
// result, which must be that of the two steps, and whether the line skips them.
TEST(Chain, ALineThatRetabsToItselfSkipsBothTabStepsAndNothingElse) {
    const struct {
        std::uint32_t switches;
        std::uint32_t expand, compress;
        std::string line, result;
        bool round_trip;
        const char* prefix = "@@";
    } cases[] = {
        {F_COMPRESS_TABS, 8, 8, "\tmov\tax, bx\t\t   x", "\tmov\tax, bx\t\t   x", true},
        {F_COMPRESS_TABS, 8, 8, "abcdefg x", "abcdefg\tx", false},  // a space right before a stop
        {F_COMPRESS_TABS, 8, 8, "\t        x", "\t\tx", false}, {F_COMPRESS_TABS, 4, 4, "\tab c\td", "\tab c\td", true},
        {F_COMPRESS_TABS, 4, 4, "\tabc d", "\tabc\td", false}, {F_COMPRESS_TABS, 4, 8, "\tx", "    x", false},
        {F_EXPAND_TABS | F_COMPRESS_TABS, 3, 3, "\tx", "\tx", false},  // the same bytes, but a width of three
        {F_COMPRESS_TABS | F_LOCAL_LABELS, 8, 8, "@@loop:\tret", "loop_0000: ret", true},
        {F_COMPRESS_TABS | F_LOCAL_LABELS, 8, 8, "x\t@y", "x      y_0000", true, " @"},  // a TAB becomes part of a pair
        {F_COMPRESS_TABS | F_LOCAL_LABELS, 8, 8, "p:\tq", "p:\tq", true},
        {F_COMPRESS_TABS, 8, 8, std::string(130, '\t') + "x", "\n\r?KESTON-F-Line 7 is too long after tab conversion\n\r", false},
        {F_COMPRESS_TABS, 8, 8, std::string(127, '\t') + "x", std::string(127, '\t') + "x", true},
        {F_COMPRESS_TABS, 8, 8, std::string(127, '\t') + "x\t", "\n\r?KESTON-F-Line 7 is too long after tab conversion\n\r", false},
        {F_COMPRESS_TABS, 8, 8, std::string(126, '\t') + "x \t", std::string(126, '\t') + "x", true},
        {F_COMPRESS_TABS, 8, 8, "abcdefg x  ", "abcdefg\tx", false}, {F_COMPRESS_TABS, 8, 8, " \t ", "", true},
        {F_COMPRESS_TABS, 8, 8, "db \"ab  ", "db \"ab", true},  // an open string loses its trailing blanks too
        {F_COMPRESS_TABS, 8, 8, "db \"a\tb\"", "db \"a   b\"", false}, {F_COMPRESS_TABS, 8, 8, "a \tb", "a\tb", false},
        {F_COMPRESS_TABS, 8, 8, "\tmov\tax \t", "\tmov\tax", true}, {F_COMPRESS_TABS, 8, 8, "", "", true},
        {F_COMPRESS_TABS, 8, 8, std::string(31, 'x') + " \ty", std::string(31, 'x') + "\t\ty", false},
        // The last space of a span before the next span's TAB, at no stop (column 37).
        {F_COMPRESS_TABS, 8, 8, std::string("x\t") + std::string(29, 'y') + " \tz", std::string("x\t") + std::string(29, 'y') + "\tz", false},
        {F_COMPRESS_TABS, 32, 32, "\tab\tc", "\tab\tc", true}, {F_COMPRESS_TABS, 64, 64, "\tab", "\tab", false},
        {F_COMPRESS_TABS, 1, 1, "a\tb\"c d\"", "a\tb\"c d\"", true},
        {F_COMPRESS_TABS, 8, 8, "\tdb\t\"abcdef gh\", 0", "\tdb\t\"abcdef gh\", 0", true},
        {F_COMPRESS_TABS, 8, 8, "\tdb\t\"abcdef gh", "\tdb\t\"abcdef gh", true},  // open to the end
        {F_COMPRESS_TABS, 8, 8, "\"abcde\" x", "\"abcde\"\tx", false}, {F_COMPRESS_TABS, 8, 8, "\"a\"\tx", "\"a\"\tx", true},
        {F_COMPRESS_TABS, 8, 8, "\"ab\" \"d\tx\"", "\"ab\" \"d x\"", false},  // the second string's TAB
        {F_COMPRESS_TABS, 8, 8, std::string(30, 'x') + "\"abcdefgh i\"jklm o", std::string(30, 'x') + "\"abcdefgh i\"jklm o", true},
        {F_COMPRESS_TABS, 8, 8, std::string(30, 'x') + "\"abcdefgh i\"jklmn op", std::string(30, 'x') + "\"abcdefgh i\"jklmn\top", false},
    };
    g_line_number = 7;
    for (const auto& c : cases) {
        g_switches = c.switches;
        g_expand_tab = c.expand;
        g_compress_tab = c.compress;
        std::memcpy(g_label_prefix, c.prefix, 2);
        reset_label_state();
        EXPECT_EQ(run_on_line(c.line, transform_line), c.result) << c.line;
        static char buffer[LINE_BUFFER_SIZE];  // the scan reads whole spans behind the line, as in a line buffer
        std::memcpy(buffer, c.line.data(), c.line.size());
        EXPECT_EQ(round_trip_length(buffer, static_cast<std::uint32_t>(c.line.size())) != RETAB_CHANGES, c.round_trip)
            << c.line;
    }
    g_switches = 0;
}
// clang-format on

}  // namespace
}  // namespace keston
