// Folders: made for the destinations of build mode, and searched for a name
// as a source written for DOS spells it.
#pragma once

#include <cstddef>

namespace keston::platform {

// True when name reaches a folder.
bool is_folder(const char* name);

// Creates a folder. 0, or -1 (also when the name exists already).
int make_folder(const char* name);

// Removes an empty folder. 0, or -1.
int remove_folder(const char* name);

// The entry of folder whose name is name (length bytes) with letters in any
// case, copied into found (size bytes): the count of such entries, up to 2.
// Where the file system itself ignores case, at most the one entry it finds.
int find_entry_in_any_case(const char* folder, const char* name, std::size_t length, char* found, std::size_t size);

}  // namespace keston::platform
