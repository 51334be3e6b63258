#include "transform/tab_expansion.h"

#include <bit>

#include "common/byte_scan.h"
#include "common/globals.h"
#include "common/report.h"

namespace keston {

namespace {

std::int32_t report_too_long() {
    report_stop(RunStop::LONG_AFTER_TABS);
    return -1;
}

// The text between two TABs, most of which fits one block, a block at a time:
// up to a block behind it may be written. Unlike copy_blocks, the first block
// goes without a test, which here also keeps the compiler from making a
// library call of the loop.
void copy_text(char* out, const char* in, std::uint32_t count) {
    using namespace scan_block;
    store(out, load(in));
    for (std::uint32_t done = SIZE; done < count; done += SIZE) store(out + done, load(in + done));
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

// The TABs are found SPAN_BYTES at a time and the text between them is copied
// whole. Only TABs and the source's own blanks become spaces, so the trailing
// blanks of the source are exactly the spaces at the end of the result. A
// character that would become the 1024th fails the line.
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
    for (std::uint32_t at = 0; at < length; at += SPAN_BYTES) {
        for (SpanBits tabs = span_flags_within(source + at, length - at, '\t')[0]; tabs != 0; tabs &= tabs - 1) {
            const std::uint32_t tab = at + static_cast<std::uint32_t>(std::countr_zero(tabs));
            if (column + (tab - read) >= MAX_LINE) return report_too_long();
            copy_text(out + column, source + read, tab - read);
            column += tab - read;
            while (next_stop <= column) next_stop += width;
            if (next_stop > MAX_LINE_CHARS) return report_too_long();
            fill_spaces(out + column, next_stop - column);
            column = next_stop;
            read = tab + 1;
        }
    }
    if (column + (length - read) >= MAX_LINE) return report_too_long();
    copy_text(out + column, source + read, length - read);
    column += length - read;
    while (column > 0 && out[column - 1] == ' ') --column;
    out[column] = '\0';
    g_line_length = column;
    return 0;
}

}  // namespace keston
