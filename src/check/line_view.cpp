#include "check/line_view.h"

#include "common/byte_scan.h"

namespace keston::check {

namespace {

std::uint32_t scan_to(const char* line, std::uint32_t from, std::uint32_t length, char target) {
    return from + static_cast<std::uint32_t>(scan_until(line + from, length - from, nullptr, target));
}

// The quote that closes the string opened at start, or length when none does.
std::uint32_t find_closing_quote(const char* line, std::uint32_t start, std::uint32_t length) {
    const char quote = line[start];
    for (std::uint32_t at = start + 1; at < length; at += 2) {
        at = scan_to(line, at, length, quote);
        // The line's NUL stands behind its last character.
        if (at == length || line[at + 1] != quote) return at;
    }
    return length;
}

// The '>' that closes a text literal whose text begins at from, or length.
std::uint32_t find_closing_angle(const char* line, std::uint32_t from, std::uint32_t length) {
    for (std::uint32_t at = from; at < length; at += 2) {
        at += static_cast<std::uint32_t>(scan_until(line + at, length - at, nullptr, '>', '!'));
        if (at == length || line[at] == '>') return at;
    }
    return length;
}

// The next character that may begin a literal or a comment; slash is '/'
// where "//" begins a comment, else ';' once more.
std::uint32_t next_mark(const char* line, std::uint32_t from, std::uint32_t length, char slash) {
    return from +
           static_cast<std::uint32_t>(scan_until(line + from, length - from, nullptr, '\'', '"', '<', ';', slash));
}

// The next ';', or '/' where slash is '/', at or behind from.
std::uint32_t scan_to_comment(const char* line, std::uint32_t from, std::uint32_t length, char slash) {
    return from + static_cast<std::uint32_t>(scan_until(line + from, length - from, nullptr, ';', slash));
}

// Records the literal that opens at start and closes at close (length: it stays open); returns its end.
std::uint32_t add_literal(LineView* view, std::uint32_t start, std::uint32_t close, std::uint32_t length, char opener) {
    const bool closed = close < length;
    const std::uint32_t end = closed ? close + 1 : length;
    view->literals[view->literal_count++] = {static_cast<std::uint16_t>(start), static_cast<std::uint16_t>(end), opener,
                                             closed};
    return end;
}

}  // namespace

void view_line(const char* line, std::uint32_t length, bool cpp_comments, LineView* view) {
    view->literal_count = 0;
    // Once a '<' finds no '>' behind it, no later '<' can.
    bool angles_close = true;
    const char slash = cpp_comments ? '/' : ';';
    std::uint32_t at = next_mark(line, 0, length, slash);
    while (at < length) {
        const char c = line[at];
        if (c == ';' || (c == '/' && line[at + 1] == '/')) break;
        if (c == '\'' || c == '"') {
            at = add_literal(view, at, find_closing_quote(line, at, length), length, c);
        } else if (c == '<' && angles_close) {
            const std::uint32_t close = find_closing_angle(line, at + 1, length);
            angles_close = close < length;
            at = angles_close ? add_literal(view, at, close, length, c) : at + 1;
        } else {
            ++at;
        }
        at = next_mark(line, at, length, slash);
    }
    view->code_end = at < length ? at : length;
}

void view_plain_line(const char* line, std::uint32_t length, bool cpp_comments, LineView* view) {
    view->literal_count = 0;
    const char slash = cpp_comments ? '/' : ';';
    std::uint32_t at = scan_to_comment(line, 0, length, slash);
    while (at < length && line[at] == '/' && line[at + 1] != '/') at = scan_to_comment(line, at + 1, length, slash);
    view->code_end = at;
}

bool inside_quotes(const LineView& view, std::uint32_t at) {
    for (std::uint32_t i = 0; i < view.literal_count && view.literals[i].start <= at; ++i) {
        if (at < view.literals[i].end) return view.literals[i].opener != '<';
    }
    return false;
}

}  // namespace keston::check
