// The forms in which assemblers begin a message line with the file and line
// it is about, and the words with which they say how bad it is.
#pragma once

#include <cstdint>

namespace keston::map {

enum class Severity : std::uint8_t { ERROR, WARNING, NOTE };

// Where a message line's parts lie; each is [start, end) in the line.
struct MessageForm {
    std::uint32_t name_start;
    std::uint32_t name_end;
    std::uint32_t number_start;
    std::uint32_t number_end;
    std::uint32_t column_start;  // equal to column_end when there is no column
    std::uint32_t column_end;
    std::uint32_t text_start;  // the message behind the words for its severity
    std::uint32_t text_end;
    Severity severity;
    // fasm's "NAME [N]:", whose message follows on the lines after it up to
    // one that begins with "error:"; the text is what stands between.
    bool fasm_header;
};

// Whether line (length characters, its line end left out) begins, behind
// blanks, with a file and line in one of the forms:
//   NAME(N) : text            MASM-style assemblers, Watcom, nasm's -Xvc
//   **Error** NAME(N) text    TASM, also *Warning* and **Fatal**
//   NAME:N: text, NAME:N:C: text    nasm, yasm, GNU as, clang
//   NAME [N]:                 fasm, its message on the lines after it
// NAME may hold blanks; the first place where a form fits ends it.
bool read_message_form(const char* line, std::uint32_t length, MessageForm* form);

// The severity that the text at line[at] begins with: "error", "warning",
// "note", "fatal" or "fatal error" in any case, followed by ':', by '!'
// (Watcom) or by a blank and a code such as "A2006:" (MASM-style); *text_start
// gets where the rest begins. Any other text is a note, all of it kept.
Severity read_severity(const char* line, std::uint32_t length, std::uint32_t at, std::uint32_t* text_start);

}  // namespace keston::map
