// The pairs' paths indexed by their trailing components, so that a
// reference's path finds its pair in the same time however many pairs there
// are, also when many destinations share a last component.
#pragma once

#include <cstddef>
#include <cstdint>

#include "map/pairs.h"

namespace keston::map {

// Components a resolved path holds at most; a deeper path names no pair.
constexpr std::uint32_t MAX_PATH_COMPONENTS = 256;

// A path as it looks from the root, each component a piece of the text or
// of the current folder's name.
struct ResolvedPath {
    const char* text[MAX_PATH_COMPONENTS];
    std::uint32_t length[MAX_PATH_COMPONENTS];
    std::uint32_t count;
};

// path (length characters) joined to the current folder unless it is
// absolute ('/', '\' or a drive's letter and ':' in front), with either
// separator, and '.' and '..' resolved by the text alone: no link is
// followed, the file need not exist. False when it holds too many components.
bool resolve_path(const char* path, std::size_t length, ResolvedPath* resolved);

// Once the pairs' names are in: the destinations and sources of the pairs of
// files. False when there is no memory for it.
bool index_pairs();

// Whether a path that ends in this component may be a destination's: some
// destination's last component is this one, letters in any case, or a pair
// of folders holds any.
bool may_end_a_destination(const char* component, std::size_t length);

// The longest that a pair's name with a blank in it may be spelt, as given
// or absolute; 0 when no name has one.
std::size_t longest_path_with_blanks();

// The pair that path refers to: the destination whose path it is (pairs of
// folders hold every path under their destination folder); else none when
// it is a source's path (or under a source folder); else, unless only a
// whole path is asked for, the destination whose path shares the longest
// run of trailing components with it, letters in any case and at least the
// last, where exactly one does. name (length characters) is the path as the
// reference spells it. *owned tells whether the path is a pair's own.
Pair* pair_of(const ResolvedPath& path, const char* name, std::size_t length, bool whole_only, bool* owned);

}  // namespace keston::map
