// Removal of trailing comments from g_line_a, in place. Each cut takes the
// blanks in front of the comment with it.
#pragma once

namespace keston {

// From the first ';' that is neither inside double quotes nor the middle of ';'.
void strip_asm_comment();

// From the first "//", quotes or not.
void strip_cpp_comment();

}  // namespace keston
