// keston's output of a source, held small, and the comparison that tells
// whether -x joined label scopes without changing anything else in that
// output.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "check/source_text.h"

namespace keston::check {

struct WrittenLabel {
    std::uint32_t name;  // an index into the output's names
    std::uint64_t number;
};

// Line by line, what the comparison needs of keston's output: no line is
// held, since a source may hold millions of them.
struct ChainOutput {
    std::vector<std::uint64_t> hashes;        // of each line, each of its labels' numbers as one '#'
    std::vector<std::uint16_t> blanks;        // in front of each line
    std::vector<std::uint16_t> label_counts;  // of each line
    std::vector<WrittenLabel> labels;         // that -l wrote, in order
    std::vector<std::string> names;           // of the labels, each once
    std::unordered_map<std::string, std::uint32_t> name_indexes;
};

// Runs keston's chain, with the switches given, over text, which it runs
// through, of lines lines.
void run_chain(const SourceText& text, std::uint32_t lines, ChainOutput* output);

// Where keston's output of text, with a TAB put in at each of tab_offsets
// (in order), differs from original, the output of text as it is, by more
// than blanks in front of the indented lines (by index), once label numbers
// are renumbered by first appearance; only labels of the joined names may
// share a number there that they did not share before. 0 where it does not,
// else the line (from 1).
std::uint64_t find_output_difference(const SourceText& text, const std::vector<std::size_t>& tab_offsets,
                                     const ChainOutput& original, const std::vector<bool>& indented,
                                     const std::unordered_set<std::string>& joined_names);

}  // namespace keston::check
