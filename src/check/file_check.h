// One source file through keston's chain, line by line, with every hazard
// of each line reported.
#pragma once

#include <cstdint>

namespace keston::check {

// The file of that name, which comes at order among the sources, its lines
// read from the file that read_name reaches: the same, or its rewrite.
void check_file(const char* name, const char* read_name, std::uint32_t order);

}  // namespace keston::check
