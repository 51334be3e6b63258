// keston-check's name-clash, run by keston-map's build mode over the sources
// that it makes and the includes they name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace keston::check {

// Checks the sources (with -l given) as keston-check does and writes each
// name clash among them, and nothing else, to the descriptor fd as an error
// line. The count of clashes.
std::size_t report_clashes_among(const std::vector<std::string>& sources, int fd);

}  // namespace keston::check
