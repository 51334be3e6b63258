#include "check/name_syntax.h"

#include <bit>

#include "common/byte_scan.h"
#include "common/globals.h"

namespace keston::check {

std::uint32_t skip_blanks(const char* line, std::uint32_t at, std::uint32_t end) {
    return at < end ? at + static_cast<std::uint32_t>(count_blanks(line + at, end - at)) : at;
}

// Most lines differ in the first letter, which a word in small letters
// matches in either case exactly when they are alike but for bit 0x20.
bool is_word(const char* line, std::uint32_t at, std::uint32_t end, std::string_view word) {
    if (at >= end || end - at <= word.size() || (line[at] | 0x20) != word[0]) return false;
    for (std::size_t i = 1; i < word.size(); ++i) {
        if (ascii_lower(line[at + i]) != word[i]) return false;
    }
    return is_blank(line[at + word.size()]);
}

// Most lines end within one span, whose blank flags then show both words at
// once; the line's NUL, no blank, stands behind its last character.
LineWords find_words(const char* line, std::uint32_t length) {
    if (length < SPAN_BYTES) {
        const auto [spaces, tabs] = span_flags(line, ' ', '\t');
        const SpanBits blanks = (spaces | tabs) & ((SpanBits{1} << length) - 1);
        const auto first = static_cast<std::uint32_t>(std::countr_zero(~blanks));
        const SpanBits blanks_behind = blanks & (~SpanBits{0} << first);
        const std::uint32_t first_end =
            blanks_behind != 0 ? static_cast<std::uint32_t>(std::countr_zero(blanks_behind)) : length;
        return {first, static_cast<std::uint32_t>(std::countr_zero(~blanks & (~SpanBits{0} << first_end)))};
    }
    const std::uint32_t first = skip_blanks(line, 0, length);
    const auto first_end =
        first + static_cast<std::uint32_t>(scan_until(line + first, length - first, nullptr, ' ', '\t'));
    return {first, skip_blanks(line, first_end, length)};
}

// A word that stands before code_end ends before it too, so the words of the
// whole line serve for its code part. The first letter picks the one word
// that may begin the line.
bool declares_names(const char* line, const LineWords& words, std::uint32_t code_end) {
    if (words.first >= code_end) return false;
    std::string_view first_word;
    switch (line[words.first] | 0x20) {
        case 'l':
            first_word = "local";
            break;
        case 'a':
            first_word = "arg";
            break;
        case 'p':
            first_word = "proc";
            break;
        default:
            break;
    }
    return (!first_word.empty() && is_word(line, words.first, code_end, first_word)) ||
           is_word(line, words.second, code_end, "proc");
}

bool continues_in_next_line(const char* line, std::uint32_t code_end) {
    while (code_end > 0 && is_blank(line[code_end - 1])) --code_end;
    return code_end > 0 && (line[code_end - 1] == ',' || line[code_end - 1] == '\\');
}

}  // namespace keston::check
