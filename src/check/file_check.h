// One source file through keston's chain, line by line, with every hazard
// of each line reported.
#pragma once

namespace keston::check {

// The file named by a command-line argument, named the way keston names it.
void check_file(const char* argument);

}  // namespace keston::check
