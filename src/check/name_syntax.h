// How a source spells and declares names, as the assembler reads them:
// identifier characters, the words that begin a line, and the lines that
// declare local names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/byte_scan.h"
#include "transform/local_labels.h"

namespace keston::check {

// The two characters of the label prefix, as the reports show them.
inline std::string_view label_prefix() {
    return {g_label_prefix, sizeof g_label_prefix};
}

constexpr char ascii_lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool is_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}

// What some assembler takes in a name; bytes from 0x80 on are left to the assembler.
constexpr bool is_identifier_character(unsigned char c) {
    const unsigned char lower = c | 0x20;
    return (lower >= 'a' && lower <= 'z') || is_digit(c) || c == '_' || c == '@' || c == '$' || c == '?' || c == '~' ||
           c >= 0x80;
}

// A name that no assembler takes for its first character.
constexpr bool begins_no_identifier(char first) {
    return is_digit(static_cast<unsigned char>(first)) || first == '~';
}

std::uint32_t skip_blanks(const char* line, std::uint32_t at, std::uint32_t end);

// Whether the word, given in small letters, stands at 'at' in any case with a
// blank behind it, before end.
bool is_word(const char* line, std::uint32_t at, std::uint32_t end, std::string_view word);

// Where the first word of a line begins, behind the blanks that begin the
// line (the line's length where there is none), and where the blank behind
// the word that makes the line declare names stands: a "local" or "arg"
// directive declares its names, and the first line of a procedure ("name
// proc ..." or "proc name ...") its parameters. NO_DECLARATION where no word
// does. The line lies in a line buffer: a short one is read as a whole span.
constexpr std::uint32_t NO_DECLARATION = ~0u;
struct LineWords {
    std::uint32_t first;
    std::uint32_t declaring_end;
};
LineWords find_words(const char* line, std::uint32_t length);

// Whether the line declares names in its code part, which ends at code_end.
inline bool declares_names(const LineWords& words, std::uint32_t code_end) {
    return words.declaring_end < code_end;
}

// A code part that ends in ',' or '\' goes on in the next line.
bool continues_in_next_line(const char* line, std::uint32_t code_end);

// A local name as the source spells it, with the label prefix in front.
inline std::string prefixed(const std::string& name) {
    return std::string(g_label_prefix, 2) + name;
}

// Calls found(at, length) for each local name between from and stop, as -l
// scans them: the prefix with a name behind it. A prefix pair with no name,
// or with one longer than longest, is plain text, and its second character
// may begin the next pair.
template <typename Found>
void for_each_local_name(const char* line, std::uint32_t from, std::uint32_t stop, std::uint32_t longest, Found found) {
    for (std::uint32_t at = from; at < stop;) {
        at += static_cast<std::uint32_t>(scan_until(line + at, stop - at, nullptr, g_label_prefix[0]));
        if (at == stop) return;
        const std::uint32_t length = line[at + 1] == g_label_prefix[1] ? measure_label_name(line + at + 2) : 0;
        if (length == 0 || length > longest) {
            ++at;
            continue;
        }
        found(at, length);
        at += 2 + length;
    }
}

}  // namespace keston::check
