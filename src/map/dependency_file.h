// Make dependency files, as gcc -MD -MP writes them, which make and Ninja
// (CMake's DEPFILE) read to remake a destination when an include changes.
#pragma once

#include <string>
#include <vector>

namespace keston::map {

// "target: prerequisites" on one line, then an empty rule for each
// prerequisite but the first, the source, so that a removed include
// fails nothing. Names are escaped as make reads them.
std::string dependency_rules(const std::string& target, const std::vector<std::string>& prerequisites);

}  // namespace keston::map
