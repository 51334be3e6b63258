// The files that build mode makes: each pair's destination and the
// includes made beside it, made under temporary names and put in place
// together once all of them are made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace keston::map {

struct MadeFile {
    std::string source;
    std::string destination;
    std::size_t root;  // the pair's file whose includes brought it in
    // For an include: the file whose line includes it, the line, and the name as the line spells it.
    std::size_t includer;
    std::uint64_t line;
    std::string spelled;
    bool changed;  // its bytes differ from what was there
    std::vector<std::size_t> includes;
};

// The pairs' files first, then the includes in the order they were found.
extern std::vector<MadeFile> g_made;
extern std::size_t g_root_count;

// Makes the file under a temporary name beside its destination; the
// temporary goes again at once where the destination holds its bytes
// already. 0, or -1 after the message of where keston stopped or what could
// not be read or written.
int make_file(MadeFile& file);

// The same for a file of the bytes given: *changed tells whether they differ
// from the file's.
int stage_bytes(const std::string& destination, const std::string& bytes, bool* changed);

// Puts every staged file in place, the last staged first. 0, or -1 after the
// message naming the file that could not be put there.
int commit_made_files();

// After a failure: the folders that the run created for its files go again.
void remove_made_folders();

}  // namespace keston::map
