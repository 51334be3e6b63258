#include "transform/tab_compression.h"

#include <cstdint>

#include "common/globals.h"

namespace keston {

namespace {

bool spaces_follow(const char* text, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        if (text[i] != ' ') return false;
    }
    return true;
}

}  // namespace

void compress_tabs() {
    const char* source = current_line();
    if (source[0] == '\0') return;
    g_line_toggle ^= 1;
    char* out = current_line();
    const std::uint32_t width = g_compress_tab;
    std::uint32_t column = 0;
    bool quoted = false;
    while (*source != '\0') {
        const char c = *source;
        if (c == ' ' && !quoted) {
            // A space whose run reaches the next stop becomes one TAB for the whole run.
            const std::uint32_t to_stop = width - column % width;
            if (spaces_follow(source + 1, to_stop - 1)) {
                *out++ = '\t';
                column += to_stop;
                source += to_stop;
                continue;
            }
        } else if (c == '"') {
            quoted = !quoted;
        }
        *out++ = c;
        ++column;
        ++source;
    }
    *out = '\0';
}

}  // namespace keston
