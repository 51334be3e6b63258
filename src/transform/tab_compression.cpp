#include "transform/tab_compression.h"

#include <cstdint>

#include "common/byte_scan.h"
#include "common/globals.h"

namespace keston {

namespace {

constexpr std::uint32_t NOT_PLAIN = ~0u;

// A line without double quotes and TABs, which is every line that tab
// expansion hands on unless it quotes: there each column is the position in
// the line, so the line is taken one tab-width group at a time. A run of spaces
// reaches a stop exactly when the group before that stop ends in a space; the
// group's trailing spaces then become one TAB. Every other group, and the rest
// of the line behind the last full group, stays as it is. NOT_PLAIN as soon as
// a double quote or a TAB turns up.
std::uint32_t compress_plain(const char* source, std::uint32_t length, char* out, std::uint32_t width) {
    std::uint32_t written = 0;
    std::uint32_t group = 0;
    for (; group + width <= length; group += width) {
        if (scan_until(source + group, width, out + written, '"', '\t') != width) return NOT_PLAIN;
        if (source[group + width - 1] != ' ') {
            written += width;
            continue;
        }
        std::uint32_t kept = width - 1;
        while (kept > 0 && source[group + kept - 1] == ' ') --kept;
        out[written + kept] = '\t';
        written += kept + 1;
    }
    const std::uint32_t rest = length - group;
    if (scan_until(source + group, rest, out + written, '"', '\t') != rest) return NOT_PLAIN;
    return written + rest;
}

// Any line: each space outside double quotes becomes a TAB when the spaces
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
    std::uint32_t written = compress_plain(source, length, out, g_compress_tab);
    if (written == NOT_PLAIN) written = compress_any(source, length, out, g_compress_tab);
    out[written] = '\0';
    g_line_length = written;
}

}  // namespace keston
