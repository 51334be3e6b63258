// The map of a pair, built once, when the first reference to its destination
// arrives: by then the assembler has read the destination whole.
#pragma once

#include "map/pairs.h"

namespace keston::map {

// Whether the pair's references are rewritten: true once its destination has
// been found to be keston's output of its source with the run's switches.
// Otherwise the first call prints one note on standard error.
bool is_mapped(Pair& pair);

// Set when a source or a destination could not be read, or was too large to map.
extern bool g_map_failed;

}  // namespace keston::map
