#include "transform/comments.h"

#include <cstring>

#include "common/globals.h"

namespace keston {

namespace {

// Ends the line at the comment that starts at comment, dropping the blanks before it.
void cut_comment(char* line, char* comment) {
    while (comment > line && is_blank(comment[-1])) --comment;
    *comment = '\0';
}

// The assembler character constant ';' (never looked at in the first column).
bool is_semicolon_constant(const char* semicolon) {
    return semicolon[-1] == '\'' && semicolon[1] == '\'';
}

}  // namespace

void strip_asm_comment() {
    char* const line = g_line_a;
    if (line[0] == ';') {
        line[0] = '\0';
        return;
    }
    if (line[0] == '\0') return;
    // A double quote in the first column does not count: scanning starts behind it.
    bool quoted = false;
    for (char* p = std::strpbrk(line + 1, "\";"); p != nullptr; p = std::strpbrk(p + 1, "\";")) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (!quoted && !is_semicolon_constant(p)) {
            cut_comment(line, p);
            return;
        }
    }
}

void strip_cpp_comment() {
    char* const line = g_line_a;
    char* const comment = std::strstr(line, "//");
    if (comment != nullptr) cut_comment(line, comment);
}

}  // namespace keston
