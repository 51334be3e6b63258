#include "check/name_syntax.h"

#include <bit>

#include "common/byte_scan.h"
#include "common/globals.h"

namespace keston::check {

std::uint32_t skip_blanks(const char* line, std::uint32_t at, std::uint32_t end) {
    return at < end ? at + static_cast<std::uint32_t>(count_blanks(line + at, end - at)) : at;
}

// Where a blank stands behind the word, given in small letters, at 'at' in
// any case; NO_DECLARATION where it does not stand there.
std::uint32_t word_end(const char* line, std::uint32_t at, std::string_view word) {
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (ascii_lower(line[at + i]) != word[i]) return NO_DECLARATION;
    }
    const auto end = at + static_cast<std::uint32_t>(word.size());
    return is_blank(line[end]) ? end : NO_DECLARATION;
}

// Most lines differ in the first letter, which a word in small letters
// matches in either case exactly when they are alike but for bit 0x20.
bool is_word(const char* line, std::uint32_t at, std::uint32_t end, std::string_view word) {
    if (at >= end || end - at <= word.size() || (line[at] | 0x20) != word[0]) return false;
    return word_end(line, at, word) != NO_DECLARATION;
}

// The first letter picks the one word that may begin a declaring line. The
// line's NUL, neither a letter nor a blank, ends every comparison at its end.
std::uint32_t find_declaring_end(const char* line, std::uint32_t first, std::uint32_t second) {
    std::uint32_t end = NO_DECLARATION;
    switch (line[first] | 0x20) {
        case 'l':
            end = word_end(line, first, "local");
            break;
        case 'a':
            end = word_end(line, first, "arg");
            break;
        case 'p':
            end = word_end(line, first, "proc");
            break;
        default:
            break;
    }
    return end != NO_DECLARATION || (line[second] | 0x20) != 'p' ? end : word_end(line, second, "proc");
}

// Most lines end within one span, whose blank flags then show both words at
// once; the line's NUL, no blank, stands behind its last character.
LineWords find_words(const char* line, std::uint32_t length) {
    std::uint32_t first;
    std::uint32_t second;
    if (length < SPAN_BYTES) {
        const auto [spaces, tabs] = span_flags(line, ' ', '\t');
        const SpanBits blanks = (spaces | tabs) & ((SpanBits{1} << length) - 1);
        first = static_cast<std::uint32_t>(std::countr_zero(~blanks));
        const SpanBits blanks_behind = blanks & (~SpanBits{0} << first);
        const std::uint32_t first_end =
            blanks_behind != 0 ? static_cast<std::uint32_t>(std::countr_zero(blanks_behind)) : length;
        second = static_cast<std::uint32_t>(std::countr_zero(~blanks & (~SpanBits{0} << first_end)));
    } else {
        first = skip_blanks(line, 0, length);
        const auto first_end =
            first + static_cast<std::uint32_t>(scan_until(line + first, length - first, nullptr, ' ', '\t'));
        second = skip_blanks(line, first_end, length);
    }
    return {first, first < length ? find_declaring_end(line, first, second) : NO_DECLARATION};
}

bool continues_in_next_line(const char* line, std::uint32_t code_end) {
    while (code_end > 0 && is_blank(line[code_end - 1])) --code_end;
    return code_end > 0 && (line[code_end - 1] == ',' || line[code_end - 1] == '\\');
}

}  // namespace keston::check
