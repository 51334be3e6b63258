#include "map/macro_lines.h"

#include <limits>

#include "map/macro_definition.h"

namespace keston::map {

namespace {

constexpr char CALLED_FROM[] = "macro called from";
constexpr std::uint32_t CALLED_FROM_LENGTH = sizeof CALLED_FROM - 1;
// Digits beyond these make a count past any destination's end.
constexpr std::uint32_t MAX_NUMBER_DIGITS = 19;

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The characters of a macro's name in MASM-style sources.
bool is_name_character(char c) {
    const char lower = fold_case(c);
    return (lower >= 'a' && lower <= 'z') || is_digit(c) || c == '_' || c == '$' || c == '?' || c == '@';
}

// The end of the number at 'at', with *number set; 'at' where none begins.
std::uint32_t read_number(const char* line, std::uint32_t length, std::uint32_t at, std::uint64_t* number) {
    std::uint32_t end = at;
    *number = 0;
    for (; end < length && is_digit(line[end]); ++end) {
        const auto digit = static_cast<std::uint64_t>(line[end] - '0');
        *number = end - at >= MAX_NUMBER_DIGITS ? std::numeric_limits<std::uint64_t>::max() : *number * 10 + digit;
    }
    return end;
}

// The line, its end and trailing blanks aside, ends with the words, in any case.
bool ends_called_from(const char* line, std::uint32_t length, std::uint32_t from) {
    while (length > from && (is_blank(line[length - 1]) || line[length - 1] == '\n' || line[length - 1] == '\r')) {
        --length;
    }
    if (length - from < CALLED_FROM_LENGTH) return false;
    const char* const words = line + length - CALLED_FROM_LENGTH;
    for (std::uint32_t i = 0; i < CALLED_FROM_LENGTH; ++i) {
        if (fold_case(words[i]) != CALLED_FROM[i]) return false;
    }
    return true;
}

}  // namespace

bool read_macro_line(const char* line, std::uint32_t length, MacroLine* macro) {
    std::uint32_t at = 0;
    while (at < length && is_blank(line[at])) ++at;
    macro->name_start = at;
    while (at < length && is_name_character(line[at])) ++at;
    macro->name_end = at;
    if (at == macro->name_start || at == length || line[at] != '(') return false;
    macro->number_start = at + 1;
    at = macro->number_end = read_number(line, length, macro->number_start, &macro->number);
    if (at == macro->number_start || length - at < 2 || line[at] != ')' || line[at + 1] != '[') return false;
    at = macro->file_start = at + 2;
    while (at < length && line[at] != ']' && line[at] != '\n') ++at;
    macro->file_end = at;
    if (at == macro->file_start || length - at < 2 || line[at] != ']' || line[at + 1] != ':') return false;
    return ends_called_from(line, length, at + 2);
}

bool map_macro_line(const Pair& pair, const char* line, const MacroLine& macro, std::uint64_t before,
                    std::uint32_t* count, std::uint32_t* source_line) {
    const std::uint64_t definition = find_macro_definition(pair.destination, line + macro.name_start,
                                                           macro.name_end - macro.name_start, before);
    const std::uint64_t lines = pair.source_lines.size();
    if (definition == 0 || macro.number >= lines || definition + macro.number > lines) return false;
    const std::uint32_t definition_source = pair.source_lines[definition - 1];
    *source_line = pair.source_lines[definition + macro.number - 1];
    *count = *source_line - definition_source;
    return true;
}

}  // namespace keston::map
