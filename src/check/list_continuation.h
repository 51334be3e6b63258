// Lists continued by a trailing comma: -e drops the empty line that ended
// one, so the next line written joins the list.
#pragma once

#include <cstdint>

namespace keston::check {

// Before the first line of a file.
void start_list_check();

// Every result of the chain, in order (with -e).
void check_dropped_line(const char* result, std::uint32_t length);

// A line that the assembler reads as a comment, in place of a result: as a
// comment alone, it adds nothing to a list that a dropped line ended.
void pass_comment_in_list();

}  // namespace keston::check
