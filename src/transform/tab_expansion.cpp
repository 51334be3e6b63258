#include "transform/tab_expansion.h"

#include <cstdio>
#include <cstring>

#include "common/globals.h"

namespace keston {

namespace {

constexpr std::uint32_t NO_MARK = MAX_LINE;

std::int32_t report_too_long() {
    std::printf("\n\r?KESTON-F-Line %d is too long after tab conversion\n\r", g_line_number);
    return -1;
}

}  // namespace

std::int32_t expand_tabs() {
    const char* source = g_line_a;
    if (source[0] == '\0') return 0;
    g_line_toggle = 1;
    char* const out = g_line_b;
    const std::uint32_t width = g_expand_tab;
    std::uint32_t column = 0;
    std::uint32_t trailing_blanks = NO_MARK;  // where the present run of blanks began
    for (; *source != '\0'; ++source) {
        const char c = *source;
        if (!is_blank(c)) {
            trailing_blanks = NO_MARK;
        } else if (trailing_blanks == NO_MARK) {
            trailing_blanks = column;
        }
        if (c == '\t') {
            const std::uint32_t spaces = width - column % width;
            if (column + spaces > MAX_LINE_CHARS) return report_too_long();
            std::memset(out + column, ' ', spaces);
            column += spaces;
        } else {
            out[column++] = c;
            if (column == MAX_LINE) return report_too_long();
        }
    }
    out[trailing_blanks == NO_MARK ? column : trailing_blanks] = '\0';
    return 0;
}

}  // namespace keston
