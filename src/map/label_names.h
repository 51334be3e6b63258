// The label names that the chain wrote into a destination, and the way back
// from such a name in a message to the name as the source spells it.
#pragma once

#include <cstdint>

#include "map/pairs.h"

namespace keston::map {

// From now on every label the chain writes is recorded for pair; null stops
// the recording. False from stop_recording_labels when memory ran out.
void record_labels_of(Pair* pair);
bool stop_recording_labels();

// The source's spelling, behind the prefix, of a word that the chain wrote as
// a label of pair, in any case: "LOOP_0003" gives "loop" when "@@loop" became
// "loop_0003". Its length, with *spelling set; 0 when the word is no such label.
std::uint32_t find_label_spelling(const Pair& pair, const char* word, std::uint32_t length, const char** spelling);

}  // namespace keston::map
