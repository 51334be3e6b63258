// Include lines and the files they name, found as an assembler finds them,
// and as sources written for DOS spell them: keston-check compares the label
// names of a source with those of its includes, and keston-map's build mode
// makes the includes beside the destination.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keston {

// Room for a path that the finder makes.
constexpr std::size_t INCLUDE_PATH_SIZE = 4096;

// The name that line (length characters) includes: "include name",
// "include 'name'", "include <name>" or "%include "name"", the word in any
// case, a ';' comment behind it left out. False for any other line.
bool find_include_name(const char* line, std::uint32_t length, std::uint32_t* start, std::uint32_t* end);

// The file that includer's include line of name (length characters) names,
// into found (INCLUDE_PATH_SIZE bytes): beside the includer, else in the
// current folder. A '\' separates folders too, and on a file system that
// tells case apart a component that is not there as written is the one entry
// of its folder that it names in any case. False where no file is found.
bool find_included_file(const char* includer, const char* name, std::size_t length, char* found);

// The file that name reaches, into found (INCLUDE_PATH_SIZE bytes), with
// each component that is not there as written matched in any case, as
// find_included_file matches it. False where no file is found.
bool find_file_in_any_case(const char* name, char* found);

// The path that name (length characters, '\' a separator too) leads to from
// the folder that the file named from ends in, into joined
// (INCLUDE_PATH_SIZE bytes), "." and ".." taken out where the text alone
// allows. False when it does not fit.
bool join_include_path(const char* from, const char* name, std::size_t length, char* joined);

}  // namespace keston
