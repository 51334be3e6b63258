// Literals that the chain changes: quoted strings whose bytes differ after it,
// and quoted strings and text literals that a comment cut ends inside.
#pragma once

#include <cstdint>

#include "check/line_view.h"
#include "common/globals.h"

namespace keston::check {

// The switches that can change the text of a line.
constexpr std::uint32_t LINE_CHANGING_SWITCHES =
    F_ASM_COMMENTS | F_CPP_COMMENTS | F_EXPAND_TABS | F_COMPRESS_TABS | F_LOCAL_LABELS;

// Compares the literals of the source line, as view shows them, with those
// of the chain's result and reports each one that changed. The comment
// removers may run again on the source line in g_line_a to find where they
// cut, so nothing may be taken from g_line_a or g_line_length afterwards.
void check_literals(const char* source, std::uint32_t source_length, const LineView& view, const char* result,
                    std::uint32_t result_length);

}  // namespace keston::check
