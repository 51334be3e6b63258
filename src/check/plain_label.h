// What -x needs to know of a line before it indents it to join two label
// scopes: whether it begins or ends a procedure, or is a plain label
// definition, which the assembler reads the same wherever it begins.
#pragma once

#include <cstdint>

namespace keston::check {

enum class LineKind { other, plain_label, procedure_start, procedure_end };

// The line, in a line buffer, with where its first word begins and where its
// code part ends. A plain label begins in column 0 and is a name and ':' or
// '::' with nothing behind it in the code part or an instruction: no
// directive and no macro call, which may mean something else indented. A
// procedure starts at "name PROC" or "PROC name" and ends at "name ENDP" or
// "ENDP", in any case.
LineKind classify_line(const char* line, std::uint32_t first, std::uint32_t code_end);

// The length of the label and its colons at the start of a plain label line.
std::uint32_t plain_label_length(const char* line);

}  // namespace keston::check
