// How a source spells and declares names, as the assembler reads them:
// identifier characters, the words that begin a line, and the lines that
// declare local names.
#pragma once

#include <cstdint>
#include <string_view>

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

// Where the first two words of a line begin: the first behind the blanks
// that begin the line, the second behind the blanks that end the first; the
// line's length where there is no such word.
struct LineWords {
    std::uint32_t first;
    std::uint32_t second;
};
LineWords find_words(const char* line, std::uint32_t length);

// A "local" or "arg" directive declares its names, and the first line of a
// procedure ("name proc ..." or "proc name ...") its parameters; the code
// part of the line ends at code_end.
bool declares_names(const char* line, const LineWords& words, std::uint32_t code_end);

// A code part that ends in ',' or '\' goes on in the next line.
bool continues_in_next_line(const char* line, std::uint32_t code_end);

}  // namespace keston::check
