#include "check/name_syntax.h"

#include "common/byte_scan.h"
#include "common/globals.h"

namespace keston::check {

std::uint32_t skip_blanks(const char* line, std::uint32_t at, std::uint32_t end) {
    return at < end ? at + static_cast<std::uint32_t>(count_blanks(line + at, end - at)) : at;
}

// Most lines differ in the first letter, which a word in small letters
// matches in either case exactly when they are alike but for bit 0x20.
bool is_word(const char* line, std::uint32_t at, std::uint32_t end, std::string_view word) {
    if (end - at <= word.size() || (line[at] | 0x20) != word[0]) return false;
    for (std::size_t i = 1; i < word.size(); ++i) {
        if (ascii_lower(line[at + i]) != word[i]) return false;
    }
    return is_blank(line[at + word.size()]);
}

bool declares_names(const char* line, std::uint32_t first, std::uint32_t code_end) {
    if (is_word(line, first, code_end, "local") || is_word(line, first, code_end, "arg") ||
        is_word(line, first, code_end, "proc")) {
        return true;
    }
    const auto first_end =
        first + static_cast<std::uint32_t>(scan_until(line + first, code_end - first, nullptr, ' ', '\t'));
    return is_word(line, skip_blanks(line, first_end, code_end), code_end, "proc");
}

bool continues_in_next_line(const char* line, std::uint32_t code_end) {
    while (code_end > 0 && is_blank(line[code_end - 1])) --code_end;
    return code_end > 0 && (line[code_end - 1] == ',' || line[code_end - 1] == '\\');
}

}  // namespace keston::check
