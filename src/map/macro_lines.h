// The lines with which MASM-style assemblers name the macro lines that a
// message comes from: " NAME(N)[FILE]: Macro called from", where N counts
// lines from the "NAME MACRO" line of FILE, empty lines included.
#pragma once

#include <cstdint>

#include "map/pairs.h"

namespace keston::map {

struct MacroLine {
    std::uint32_t name_start;
    std::uint32_t name_end;
    std::uint32_t number_start;
    std::uint32_t number_end;
    std::uint64_t number;  // UINT64_MAX when it does not fit
    std::uint32_t file_start;
    std::uint32_t file_end;
};

// Whether line (length characters, its line end included) is such a line.
bool read_macro_line(const char* line, std::uint32_t length, MacroLine* macro);

// The same count in the source, for a macro line about the mapped pair's
// destination, and the source line it leads to. The definition is the last
// in the destination before line 'before' (0: anywhere in it), the line the
// message names. False where there is none or the count leads past the end.
bool map_macro_line(const Pair& pair, const char* line, const MacroLine& macro, std::uint64_t before,
                    std::uint32_t* count, std::uint32_t* source_line);

}  // namespace keston::map
