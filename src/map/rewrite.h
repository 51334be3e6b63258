// One message line rewritten: its references to the source, and the labels
// of the pairs it refers to as the source spells them.
#pragma once

#include <cstdint>

#include "map/output.h"
#include "map/pairs.h"

namespace keston::map {

// Puts line (its line end included) to output, rewritten. *continuation
// carries fasm's message over to the lines after its reference: the pair
// they refer to until a line that begins with "error:" ends the message.
void rewrite_line(const char* line, std::uint32_t length, Pair** continuation, Output& output);

}  // namespace keston::map
