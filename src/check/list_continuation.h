// Lists continued by a trailing comma: -e drops the empty line that ended
// one, so the next line written joins the list.
#pragma once

#include <cstdint>

namespace keston::check {

// Before the first line of a file.
void start_list_check();

// Every result of the chain, in order (with -e).
void check_dropped_line(const char* result, std::uint32_t length);

}  // namespace keston::check
