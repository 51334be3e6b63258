#include "transform/tab_compression.h"

#include <cstdint>

#include "common/byte_scan.h"
#include "common/globals.h"

namespace keston {

namespace {

// A tab width that fits one block: each column is the position in the line
// (a TAB counts one column, as everywhere here), so the line is taken one
// tab-width group at a time. A run of spaces outside double quotes reaches a
// stop exactly when the group before that stop ends in such a space; the
// group's trailing spaces then become one TAB. Every other group, and the
// rest of the line behind the last full group, stays as it is. A group is
// copied, searched and measured in one step; whether its last byte is quoted
// follows from the number of double quotes up to it.
std::uint32_t compress_groups(const char* source, std::uint32_t length, char* out, std::uint32_t width) {
    using namespace scan_block;
    const Block quotes = splat('"');
    const Block spaces = splat(' ');
    const Bits in_group = first_bytes(width);
    std::uint32_t written = 0;
    std::uint32_t group = 0;
    bool quoted = false;  // at the end of the groups so far
    for (; group + width <= length; group += width) {
        const Block block = load(source + group);
        store(out + written, block);
        const Bits quote_bits = equal_bits(block, quotes) & in_group;
        if (quote_bits != 0) quoted ^= (count_flags(compact(quote_bits)) & 1) != 0;
        // Whether a group ends in a space is down to the text, which a branch
        // would guess wrong half the time: both outcomes store one byte, the
        // TAB behind the kept characters or the group's own last character.
        const Bits space_bits = equal_bits(block, spaces);
        const bool ends_in_space = has_byte(space_bits, width - 1) && !quoted;
        const std::uint32_t kept = ends_in_space ? bytes_through_last(~space_bits & in_group) : width - 1;
        out[written + kept] = ends_in_space ? '\t' : source[group + width - 1];
        written += kept + 1;
    }
    // Fewer bytes than a group, so fewer than a block.
    store(out + written, load(source + group));
    return written + length - group;
}

// Any tab width: each space outside double quotes becomes a TAB when the spaces
// behind it reach the next stop. Taken a whole run at a time: the run's first
// TAB goes to the next stop, each further full tab width of the run is one TAB
// more, and what is left of the run stays spaces. A TAB counts one column.
std::uint32_t compress_any(const char* source, std::uint32_t length, char* out, std::uint32_t width) {
    std::uint32_t read = 0;
    std::uint32_t written = 0;
    std::uint32_t column = 0;
    std::uint32_t next_stop = width;  // the first stop after column
    bool quoted = false;
    for (;;) {
        // Inside double quotes spaces are copied like any other character.
        const std::size_t rest = length - read;
        const auto run = static_cast<std::uint32_t>(quoted ? scan_until(source + read, rest, out + written, '"')
                                                           : scan_until(source + read, rest, out + written, '"', ' '));
        read += run;
        written += run;
        column += run;
        if (read == length) return written;
        if (source[read] == '"') {
            quoted = !quoted;
            out[written++] = '"';
            ++read;
            ++column;
            continue;
        }
        auto spaces = static_cast<std::uint32_t>(count_spaces(source + read));
        read += spaces;
        while (next_stop <= column) next_stop += width;
        while (column + spaces >= next_stop) {
            out[written++] = '\t';
            spaces -= next_stop - column;
            column = next_stop;
            next_stop += width;
        }
        fill_spaces(out + written, spaces);
        written += spaces;
        column += spaces;
    }
}

}  // namespace

void compress_tabs() {
    const std::uint32_t length = g_line_length;
    if (length == 0) return;
    const char* const source = current_line();
    g_line_toggle ^= 1;
    char* const out = current_line();
    const std::uint32_t width = g_compress_tab;
    const std::uint32_t written = width <= scan_block::SIZE ? compress_groups(source, length, out, width)
                                                            : compress_any(source, length, out, width);
    out[written] = '\0';
    g_line_length = written;
}

}  // namespace keston
