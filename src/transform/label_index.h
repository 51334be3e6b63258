// Lookup of local label names: the position of the first stored name that
// begins with a given one, which is the name that a walk of the list from its
// start finds first. A scope of few names is walked. Past them an index takes
// over, in which every leading part of every stored name, the empty one
// included, leads to that position, so that a lookup costs about the same
// whatever the scope holds. Fixed storage; emptied in time proportional to
// what the scope entered.
#pragma once

#include <cstdint>

namespace keston {

void empty_label_index();

// Position in the list of the first stored name that begins with the length
// bytes at name, or -1 when no stored name does.
std::int32_t find_label_position(const char* name, std::uint32_t length);

// Enters the name of length characters (one or more) just stored at offset in
// g_label_names, behind every name entered before, and returns its position.
std::uint32_t index_label_name(std::uint32_t offset, std::uint32_t length);

}  // namespace keston
