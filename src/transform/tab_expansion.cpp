#include "transform/tab_expansion.h"

#include <algorithm>
#include <cinttypes>

#include "common/byte_scan.h"
#include "common/globals.h"
#include "common/report.h"

namespace keston {

namespace {

std::int32_t report_too_long() {
    report_failure("\n\r?KESTON-F-Line %" PRIu64 " is too long after tab conversion\n\r", g_line_number);
    return -1;
}

}  // namespace

// Each TAB adds at most width - 1 columns, so only a long line needs its TABs counted.
bool expansion_fits(const char* line, std::uint32_t length) {
    const std::uint32_t width = g_expand_tab;
    if (length * width <= MAX_LINE_CHARS) return true;
    std::uint32_t tabs = 0;
    for (std::uint32_t at = 0; at < length; ++at) tabs += line[at] == '\t' ? 1 : 0;
    return length + tabs * (width - 1) <= MAX_LINE_CHARS;
}

// Copies the spans between TABs whole. Only TABs and the source's own blanks
// become spaces, so the trailing blanks of the source are exactly the spaces
// at the end of the result.
std::int32_t expand_tabs() {
    const std::uint32_t length = g_line_length;
    if (length == 0) return 0;
    g_line_toggle = 1;
    const char* const source = g_line_a;
    char* const out = g_line_b;
    const std::uint32_t width = g_expand_tab;
    std::uint32_t read = 0;
    std::uint32_t column = 0;
    std::uint32_t next_stop = width;  // the first stop after column
    for (;;) {
        // A character that would become the 1024th fails the line.
        const std::uint32_t room = MAX_LINE - column;
        const std::uint32_t rest = length - read;
        const auto run =
            static_cast<std::uint32_t>(scan_until(source + read, std::min(rest, room), out + column, '\t'));
        read += run;
        column += run;
        if (column == MAX_LINE) return report_too_long();
        if (read == length) break;
        while (next_stop <= column) next_stop += width;
        const std::uint32_t spaces = next_stop - column;
        if (column + spaces > MAX_LINE_CHARS) return report_too_long();
        fill_spaces(out + column, spaces);
        column += spaces;
        ++read;
    }
    while (column > 0 && out[column - 1] == ' ') --column;
    out[column] = '\0';
    g_line_length = column;
    return 0;
}

}  // namespace keston
