// Where a macro is defined in a file the assembler read: the line that
// begins "NAME MACRO".
#pragma once

#include <cstdint>

namespace keston::map {

// The number of the last line of the file, before line 'before' (0: in the
// whole file), that defines the macro name (length characters, any case);
// 0 when there is none or the file cannot be read.
std::uint64_t find_macro_definition(const char* file, const char* name, std::uint32_t length, std::uint64_t before);

}  // namespace keston::map
