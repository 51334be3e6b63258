// Names that keston makes alike in two sources that the assembler sees
// together, because one includes the other or both are included in a third:
// label numbers start again in every file, so both get loop_0000.
#pragma once

#include <cstdint>

namespace keston::check {

extern bool g_compares_sources;

inline bool collects_made_labels() {
    return g_compares_sources;
}

// Before the first source, when several are given with -l.
void compare_sources();

// Before each source, once it is named as keston names it.
void begin_compared_source(const char* name, std::uint32_t order);

// Every name of the code part, once the chain has run on its line; column
// is that of its prefix.
void note_made_label(const char* name, std::uint32_t length, std::uint32_t column, bool defines);

// Every source line as read: an include line names a source it includes.
void note_include_line(const char* line, std::uint32_t length);

// After the last source: each name that both sources of a pair define, or
// that one defines and the other uses, reported at its first place in the
// source that the assembler meets later.
void report_name_clashes();

}  // namespace keston::check
