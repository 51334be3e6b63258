#include "map/message_form.h"

#include <cstring>

#include "map/pairs.h"

namespace keston::map {

namespace {

struct SeverityWords {
    const char* words;  // lower case
    Severity severity;
};

// Longer words first: "fatal error" before "fatal".
constexpr SeverityWords SEVERITY_WORDS[] = {{"fatal error", Severity::ERROR},
                                            {"fatal", Severity::ERROR},
                                            {"error", Severity::ERROR},
                                            {"warning", Severity::WARNING},
                                            {"note", Severity::NOTE}};

// TASM puts the severity in front of the file.
constexpr SeverityWords TASM_MARKERS[] = {
    {"**error**", Severity::ERROR}, {"**fatal**", Severity::ERROR}, {"*warning*", Severity::WARNING},
    {"**warning**", Severity::WARNING}};

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_letter(char c) {
    const char lower = fold_case(c);
    return lower >= 'a' && lower <= 'z';
}

std::uint32_t skip_blanks(const char* line, std::uint32_t length, std::uint32_t at) {
    while (at < length && is_blank(line[at])) ++at;
    return at;
}

std::uint32_t skip_digits(const char* line, std::uint32_t length, std::uint32_t at) {
    while (at < length && is_digit(line[at])) ++at;
    return at;
}

// The length of words at line[at] in any case, 0 when they do not stand there.
std::uint32_t match_words(const char* line, std::uint32_t length, std::uint32_t at, const char* words) {
    const auto count = static_cast<std::uint32_t>(std::strlen(words));
    if (length - at < count) return 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (fold_case(line[at + i]) != words[i]) return 0;
    }
    return count;
}

// A code such as "A2006:" at line[at]: letters, digits, then ':'.
bool is_code(const char* line, std::uint32_t length, std::uint32_t at) {
    std::uint32_t end = at;
    while (end < length && is_letter(line[end])) ++end;
    const std::uint32_t digits = end;
    end = skip_digits(line, length, end);
    return end != digits && end < length && line[end] == ':';
}

// "(N)" at line[at], and behind it, blanks and ':' (MASM-style) or a blank
// or the end (TASM). Sets the number and the text.
bool read_parenthesised(const char* line, std::uint32_t length, std::uint32_t at, bool colon, MessageForm* form) {
    const std::uint32_t end = skip_digits(line, length, at + 1);
    if (line[at] != '(' || end == at + 1 || end == length || line[end] != ')') return false;
    std::uint32_t text = end + 1;
    if (colon) {
        text = skip_blanks(line, length, text);
        if (text == length || line[text] != ':') return false;
        ++text;
    } else if (text != length && !is_blank(line[text])) {
        return false;
    }
    form->number_start = at + 1;
    form->number_end = form->column_start = form->column_end = end;
    form->text_start = skip_blanks(line, length, text);
    return true;
}

// ":N:" or ":N:C:" at line[at].
bool read_colon_form(const char* line, std::uint32_t length, std::uint32_t at, MessageForm* form) {
    const std::uint32_t end = skip_digits(line, length, at + 1);
    if (line[at] != ':' || end == at + 1 || end == length || line[end] != ':') return false;
    form->number_start = at + 1;
    form->number_end = end;
    const std::uint32_t column_end = skip_digits(line, length, end + 1);
    const bool column = column_end != end + 1 && column_end < length && line[column_end] == ':';
    form->column_start = column ? end + 1 : end;
    form->column_end = column ? column_end : end;
    form->text_start = skip_blanks(line, length, (column ? column_end : end) + 1);
    return true;
}

// " [N]" at line[at], in a line that ends with ':'.
bool read_fasm_header(const char* line, std::uint32_t length, std::uint32_t at, MessageForm* form) {
    if (line[at] != ' ' || length - at < 4 || line[at + 1] != '[' || line[length - 1] != ':') return false;
    const std::uint32_t end = skip_digits(line, length, at + 2);
    if (end == at + 2 || end == length || line[end] != ']') return false;
    form->number_start = at + 2;
    form->number_end = form->column_start = form->column_end = end;
    form->text_start = skip_blanks(line, length, end + 1);
    form->text_end = form->text_start < length ? length - 1 : length;
    form->fasm_header = true;
    return true;
}

bool read_form_at(const char* line, std::uint32_t length, std::uint32_t at, MessageForm* form) {
    if (read_parenthesised(line, length, at, true, form) || read_colon_form(line, length, at, form)) {
        form->severity = read_severity(line, length, form->text_start, &form->text_start);
        return true;
    }
    return read_fasm_header(line, length, at, form);
}

// TASM's marker at line[at]: its length, 0 for none.
std::uint32_t read_tasm_marker(const char* line, std::uint32_t length, std::uint32_t at, Severity* severity) {
    for (const SeverityWords& marker : TASM_MARKERS) {
        const std::uint32_t matched = match_words(line, length, at, marker.words);
        if (matched != 0 && at + matched < length && is_blank(line[at + matched])) {
            *severity = marker.severity;
            return matched;
        }
    }
    return 0;
}

}  // namespace

bool read_message_form(const char* line, std::uint32_t length, MessageForm* form) {
    *form = {};
    form->text_end = length;
    form->severity = Severity::NOTE;
    std::uint32_t start = skip_blanks(line, length, 0);
    const std::uint32_t marker = read_tasm_marker(line, length, start, &form->severity);
    if (marker != 0) start = skip_blanks(line, length, start + marker);
    form->name_start = start;
    for (std::uint32_t at = start + 1; at < length; ++at) {
        const bool found = marker != 0 ? read_parenthesised(line, length, at, false, form)
                                       : read_form_at(line, length, at, form);
        if (!found) continue;
        form->name_end = at;
        return true;
    }
    return false;
}

Severity read_severity(const char* line, std::uint32_t length, std::uint32_t at, std::uint32_t* text_start) {
    *text_start = at;
    for (const SeverityWords& words : SEVERITY_WORDS) {
        const std::uint32_t end = at + match_words(line, length, at, words.words);
        if (end == at || end == length) continue;
        if (line[end] == ':' || line[end] == '!') {
            *text_start = skip_blanks(line, length, end + 1);
            return words.severity;
        }
        const std::uint32_t code = skip_blanks(line, length, end);
        if (code != end && is_code(line, length, code)) {
            *text_start = code;
            return words.severity;
        }
    }
    return Severity::NOTE;
}

}  // namespace keston::map
