// The assembler's view of one line: where its quoted strings and text
// literals lie and where its code part ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/globals.h"

namespace keston::check {

// A quoted string ('...' or "...", a doubled quote inside standing for one)
// or a text literal (<...>, '!' taking the character behind it as it is).
struct Literal {
    std::uint16_t start;  // the opening character
    std::uint16_t end;    // one past the closing character; the line's end when it stays open
    char opener;
    bool closed;
};

// Every literal but the last holds at least two characters.
constexpr std::size_t MAX_LITERALS = MAX_LINE / 2 + 1;

struct LineView {
    std::uint32_t code_end;  // where the comment begins, else the line's length
    std::uint32_t literal_count;
    Literal literals[MAX_LITERALS];
};

// The code part ends at the first ';' outside literals, and with
// cpp_comments also at the first "//" there. A '<' opens a text literal only
// when a '>' follows it on the line; otherwise it is an operator.
void view_line(const char* line, std::uint32_t length, bool cpp_comments, LineView* view);

// The same view of a line that holds no quote and no '<', and so no literal.
void view_plain_line(const char* line, std::uint32_t length, bool cpp_comments, LineView* view);

// Whether the character at 'at' lies in a quoted string of the view; a text
// literal (<...>) does not count.
bool inside_quotes(const LineView& view, std::uint32_t at);

}  // namespace keston::check
