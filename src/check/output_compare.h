// keston's output of a source, line by line with the labels that -l wrote
// into it, and the comparison that tells whether -x joined label scopes
// without changing anything else in that output.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "check/source_text.h"

namespace keston::check {

struct WrittenLabel {
    std::string name;
    std::uint64_t number;
};

struct ChainOutput {
    std::vector<std::string> lines;  // the chain's result for each source line
    std::vector<WrittenLabel> labels;
    std::vector<std::size_t> first_labels;  // for each line, its first label in labels
    std::uint64_t stop = 0;                 // the line that keston stops at, or 0
};

// Runs keston's chain, with the switches given, over text.
void run_chain(const SourceText& text, ChainOutput* output);

// Where the output of a source whose indented lines (by index) got a blank in
// front differs from the output of the source as it was by more than a run
// of blanks in front of those lines, once label numbers are renumbered by
// first appearance; only labels of the joined names may share a number there
// that they did not share before. 0 where it does not, else the line (from 1).
std::uint64_t find_output_difference(const ChainOutput& original, const ChainOutput& joined,
                                     const std::vector<bool>& indented,
                                     const std::unordered_set<std::string>& joined_names);

}  // namespace keston::check
