// TABs of g_line_a expanded into spaces in g_line_b, trailing blanks dropped.
#pragma once

#include <cstdint>

namespace keston {

// 0, or -1 after its message when the expanded line would exceed 1023
// characters (counted before the trailing blanks are dropped).
std::int32_t expand_tabs();

// True only when expanding the TABs of line (length characters) cannot take
// it past the limit, so that expand_tabs would not refuse it: each TAB is
// counted as a whole tab width.
bool expansion_fits(const char* line, std::uint32_t length);

}  // namespace keston
