// One source file through keston's chain, line by line, with every hazard
// of each line reported.
#pragma once

#include <cstdint>

namespace keston::check {

// The file of that name, which comes at order among the sources.
void check_file(const char* name, std::uint32_t order);

}  // namespace keston::check
