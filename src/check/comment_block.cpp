#include "check/comment_block.h"

#include <cstring>

#include "check/name_syntax.h"
#include "common/globals.h"

namespace keston::check {

namespace {

constexpr char COMMENT_WORD[] = "comment";
constexpr std::uint32_t COMMENT_WORD_LENGTH = sizeof COMMENT_WORD - 1;

bool g_block_open = false;
char g_delimiter = 0;

bool continues_word(char c) {
    const char lower = static_cast<char>(c | 0x20);
    return (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '?' || c == '@';
}

// Where the delimiter stands on a line whose first word begins at 'at' and
// opens a block, or length.
std::uint32_t find_opening_delimiter(const char* line, std::uint32_t length, std::uint32_t at) {
    if (length - at <= COMMENT_WORD_LENGTH) return length;
    for (std::uint32_t i = 0; i < COMMENT_WORD_LENGTH; ++i) {
        if ((line[at + i] | 0x20) != COMMENT_WORD[i]) return length;
    }
    at += COMMENT_WORD_LENGTH;
    return continues_word(line[at]) ? length : skip_blanks(line, at, length);
}

}  // namespace

void start_comment_blocks() {
    g_block_open = false;
}

bool in_comment_block(const char* line, std::uint32_t length, std::uint32_t first) {
    if (g_block_open) {
        g_block_open = std::memchr(line, g_delimiter, length) == nullptr;
        return true;
    }
    const std::uint32_t at = find_opening_delimiter(line, length, first);
    if (at == length) return false;
    g_delimiter = line[at];
    g_block_open = std::memchr(line + at + 1, g_delimiter, length - at - 1) == nullptr;
    return true;
}

}  // namespace keston::check
