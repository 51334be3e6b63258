#include "transform/comments.h"

#include "common/byte_scan.h"
#include "common/globals.h"

namespace keston {

namespace {

// Ends the line at the comment that starts at position comment, dropping the blanks before it.
void cut_comment(char* line, std::uint32_t comment) {
    const auto end = static_cast<std::uint32_t>(end_before_blanks(line, comment));
    line[end] = '\0';
    g_line_length = end;
}

// The assembler character constant ';' (never looked at in the first column).
bool is_semicolon_constant(const char* semicolon) {
    return semicolon[-1] == '\'' && semicolon[1] == '\'';
}

}  // namespace

void strip_asm_comment() {
    char* const line = g_line_a;
    const std::uint32_t length = g_line_length;
    if (line[0] == ';') {
        cut_comment(line, 0);
        return;
    }
    // A double quote in the first column does not count: scanning starts behind it.
    bool quoted = false;
    for (std::uint32_t at = 1; at < length; ++at) {
        const std::size_t rest = length - at;
        at += static_cast<std::uint32_t>(quoted ? scan_until(line + at, rest, nullptr, '"')
                                                : scan_until(line + at, rest, nullptr, '"', ';'));
        if (at == length) return;
        if (line[at] == '"') {
            quoted = !quoted;
        } else if (!is_semicolon_constant(line + at)) {
            cut_comment(line, at);
            return;
        }
    }
}

void strip_cpp_comment() {
    char* const line = g_line_a;
    const std::uint32_t length = g_line_length;
    for (std::uint32_t at = 0; at < length; ++at) {
        at += static_cast<std::uint32_t>(scan_until(line + at, length - at, nullptr, '/'));
        if (at + 1 >= length) return;
        if (line[at + 1] == '/') {
            cut_comment(line, at);
            return;
        }
    }
}

}  // namespace keston
