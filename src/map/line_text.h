// A message line's text rewritten: its references to the sources, and the
// label names of the pairs it refers to as the sources spell them.
#pragma once

#include <cstdint>

#include "map/output.h"
#include "map/pairs.h"
#include "map/references.h"

namespace keston::map {

// Pairs whose labels a line's words may be; more in one line are left out.
constexpr std::uint32_t MAX_LINE_PAIRS = 8;

struct LinePairs {
    Pair* pairs[MAX_LINE_PAIRS];
    std::uint32_t count = 0;

    void add(Pair* pair);
};

// Whether the reference is mapped: its pair's map is built and holds its line.
bool is_rewritten(const Reference& reference);

// References of a line kept for writing it; a line with more is scanned again.
constexpr std::uint32_t MAX_KEPT_REFERENCES = 16;

// What a line's references are.
struct LineReferences {
    // The pairs that a reference of the line is rewritten to. A reference
    // that stays as it is (line 0, past the end, a stale destination) brings
    // no pair: the label names beside it stay the destination's, as its file
    // and line do.
    LinePairs pairs;
    // The last reference in fasm's form opens a message on the lines after
    // it: fasm_block is its pair, null when it stays as it is.
    bool fasm_form = false;
    Pair* fasm_block = nullptr;
    // The destination and line of the first reference; null for none.
    Pair* first_pair = nullptr;
    std::uint64_t first_line = 0;
    // The references in order, so that the line is written without finding
    // them again; count goes past MAX_KEPT_REFERENCES when some were not kept.
    Reference kept[MAX_KEPT_REFERENCES];
    std::uint32_t count = 0;
};

LineReferences find_line_references(const char* line, std::uint32_t length);

void put_number(Output& output, std::uint64_t number);

// Puts line[from, to) rewritten: each reference that begins there and is
// mapped as the source's name and line, and every whole word that is a
// label of the pairs as the prefix and the source's spelling.
void put_rewritten(Output& output, const char* line, std::uint32_t from, std::uint32_t to, const LinePairs& pairs);

// Puts the whole line rewritten, as put_rewritten does, from the references
// that find_line_references found in it.
void put_rewritten_line(Output& output, const char* line, std::uint32_t length, const LineReferences& references);

}  // namespace keston::map
