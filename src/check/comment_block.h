// Comment blocks of MASM-style assemblers: a line whose first word is COMMENT
// (in any case) opens one, and the first line that holds the block's
// delimiter again (the first non-blank character behind the word) ends it.
// The assembler reads none of it, that last line included.
#pragma once

#include <cstdint>

namespace keston::check {

// Before the first line of a file.
void start_comment_blocks();

// Every source line, in order, with where its first word begins: whether it
// lies in a comment block, its first and its last line included.
bool in_comment_block(const char* line, std::uint32_t length, std::uint32_t first);

}  // namespace keston::check
