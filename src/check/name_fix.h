// -x: rewrites each source in place so that -l no longer makes invalid
// names of local names that begin with a digit or '~', nor numbers two
// spellings of one name apart; every change is a note in the report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace keston::check {

// Before any source is rewritten: the letter that goes behind the prefix of
// every name to be renamed, in every source, chosen so that no new name
// meets a name or word of any source.
void choose_fix_letter(const std::vector<std::string>& sources);

// Rewrites the source, which comes at order among the sources, where -l
// needs it and keston's chain still runs through it; a source that cannot be
// rewritten keeps every byte and gets an error note.
void fix_file(const char* name, std::uint32_t order);

}  // namespace keston::check
