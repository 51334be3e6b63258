#include "map/macro_definition.h"

#include "map/pairs.h"
#include "platform/file_io.h"

namespace keston::map {

namespace {

constexpr std::uint32_t CHUNK_SIZE = 65536;
// A line's head, which holds its first two words in any line keston writes.
constexpr std::uint32_t HEAD_SIZE = 1024;
constexpr char MACRO_KEYWORD[] = "macro";
constexpr std::uint32_t MACRO_KEYWORD_LENGTH = sizeof MACRO_KEYWORD - 1;

struct Scan {
    const char* name;
    std::uint32_t name_length;
    std::uint64_t before;  // 0: no line bounds the search
    std::uint64_t line;    // the number of the line being read
    std::uint64_t found;
    char head[HEAD_SIZE];
    std::uint32_t head_length;
};

char g_chunk[CHUNK_SIZE];

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// The characters of a name in MASM-style sources.
bool is_name_character(char c) {
    const char lower = fold_case(c);
    return (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '?' ||
           c == '@' || c == '.';
}

// text[at, length) begins with word (lower case), in any case, and no name
// character follows it.
bool has_word_at(const char* text, std::uint32_t length, std::uint32_t at, const char* word, std::uint32_t word_length) {
    if (length - at < word_length) return false;
    for (std::uint32_t i = 0; i < word_length; ++i) {
        if (fold_case(text[at + i]) != fold_case(word[i])) return false;
    }
    return at + word_length == length || !is_name_character(text[at + word_length]);
}

// The head is "NAME MACRO", blanks before and between, anything behind.
bool defines_macro(const Scan& scan) {
    std::uint32_t at = 0;
    while (at < scan.head_length && is_blank(scan.head[at])) ++at;
    if (!has_word_at(scan.head, scan.head_length, at, scan.name, scan.name_length)) return false;
    at += scan.name_length;
    const std::uint32_t blanks = at;
    while (at < scan.head_length && is_blank(scan.head[at])) ++at;
    return at != blanks && has_word_at(scan.head, scan.head_length, at, MACRO_KEYWORD, MACRO_KEYWORD_LENGTH);
}

bool is_searched(const Scan& scan) {
    return scan.before == 0 || scan.line < scan.before;
}

void end_line(Scan& scan) {
    if (defines_macro(scan)) scan.found = scan.line;
    scan.head_length = 0;
    ++scan.line;
}

// Takes bytes of the file until the line that bounds the search.
void take_bytes(Scan& scan, const char* bytes, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count && is_searched(scan); ++i) {
        if (bytes[i] == '\n') {
            end_line(scan);
        } else if (scan.head_length < HEAD_SIZE && bytes[i] != '\r') {
            scan.head[scan.head_length++] = bytes[i];
        }
    }
}

}  // namespace

std::uint64_t find_macro_definition(const char* file, const char* name, std::uint32_t length, std::uint64_t before) {
    const int fd = platform::open_read(file);
    if (fd < 0) return 0;
    static Scan scan;
    scan = {name, length, before, 1, 0, {}, 0};
    std::int32_t got = 0;
    while (is_searched(scan) && (got = platform::read_bytes(fd, g_chunk, CHUNK_SIZE)) > 0) {
        take_bytes(scan, g_chunk, static_cast<std::uint32_t>(got));
    }
    platform::close(fd);
    if (got < 0) return 0;
    // A last line without a line end.
    if (is_searched(scan) && scan.head_length != 0) end_line(scan);
    return scan.found;
}

}  // namespace keston::map
