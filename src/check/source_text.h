// A source file as its bytes, for -x: read whole, cut into lines as keston
// reads them, and run through keston's chain as a trial.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace keston::check {

struct SourceText {
    std::string bytes;
    // Where each line begins; it ends where the next one begins, less its
    // LF, and the last one at its LF or the end of the file.
    std::vector<std::size_t> starts;
};

// The file's bytes, cut into lines. 0, or -1 when it could not be read.
int read_source_text(const char* name, SourceText* text);

// Cuts text->bytes into lines: every LF ends one, and what follows the last
// LF is a line when it holds more than CR bytes.
void split_lines(SourceText* text);

// Line i as keston stores it, CR bytes left out, into line (LINE_BUFFER_SIZE
// bytes), with the offset in text.bytes of each stored byte in positions
// unless that is null. The count of stored bytes, NULs included; at
// TS_LINE_LIMIT, where keston stops reading, copying stops.
std::uint32_t store_line(const SourceText& text, std::size_t i, char* line, std::size_t* positions);

// The bytes of the stored line that keston's chain sees: those before its first NUL.
std::uint32_t chain_length(const char* line, std::uint32_t stored);

// Runs keston's chain, with the switches given, over every line of a
// source's bytes, without a message: 0 when it runs through, else the number
// of the line it stops at. The lines are found on the way, so that a
// rewritten source needs no line table.
std::uint64_t find_stop_line(const std::string& bytes);

}  // namespace keston::check
