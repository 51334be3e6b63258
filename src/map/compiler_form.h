// -g: message lines in the compilers' form, "file:line[:column]: severity:
// text", which Vim's quickfix list, Emacs' compile mode and VS Code's $gcc
// matcher read.
#pragma once

#include <cstdint>

#include "map/line_text.h"
#include "map/macro_lines.h"
#include "map/output.h"

namespace keston::map {

// fasm's "error:" line, which ends the message that its reference opened;
// the reference's line takes its text.
struct FasmError {
    const char* line;
    std::uint32_t length;  // 0 where the message ended without one
};

// Puts line (its line end included, and kept) in the compilers' form when
// it names a file and a line: at its start, behind blanks, in one of the
// assemblers' forms, or anywhere by a reference to a pair. The file and line
// are the source's where that reference is mapped, else as printed; a column
// is kept unless -s, -t or -l moved it. False, with nothing put, when the
// line names none.
bool put_compiler_form(const char* line, std::uint32_t length, const LinePairs& pairs, const FasmError& fasm_error,
                       Output& output);

// A mapped macro line: "source:line: note: NAME(count): Macro called from".
void put_macro_in_compiler_form(const char* line, std::uint32_t length, const MacroLine& macro, const Pair& pair,
                                std::uint32_t count, std::uint32_t source_line, Output& output);

}  // namespace keston::map
