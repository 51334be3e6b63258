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

// Where the comment removers end the source line, as the length they leave
// (the line's length where they do not cut): -a alone, then -c after it.
struct CommentCuts {
    std::uint32_t asm_cut;
    std::uint32_t cut;
};

// Compares the literals of the source line, as view shows them, with those
// of the chain's result and reports each one that changed.
void check_literals(const char* source, const LineView& view, const CommentCuts& cuts, const char* result,
                    std::uint32_t result_length);

}  // namespace keston::check
