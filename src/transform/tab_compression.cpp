#include "transform/tab_compression.h"

#include <cstdint>

#include "common/byte_scan.h"
#include "common/globals.h"

namespace keston {

// Each space outside double quotes becomes a TAB when the spaces behind it
// reach the next stop. Taken a whole run at a time: the run's first TAB goes to
// the next stop, each further full tab width of the run is one TAB more, and
// what is left of the run stays spaces.
void compress_tabs() {
    const std::uint32_t length = g_line_length;
    if (length == 0) return;
    const char* const source = current_line();
    g_line_toggle ^= 1;
    char* const out = current_line();
    const std::uint32_t width = g_compress_tab;
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
        if (read == length) break;
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
    out[written] = '\0';
    g_line_length = written;
}

}  // namespace keston
