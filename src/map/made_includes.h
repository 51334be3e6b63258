// The includes that build mode makes: found from the include lines of each
// made file's source, made beside its destination, and checked before any is
// put in place.
#pragma once

#include <cstddef>

namespace keston::map {

// The files of the command line's pairs, each with the folder its includes
// must be made in.
void add_pair_files();

// Every include line of the made file's source adds the file it names. 0, or
// -1 after the message of an include that cannot be made.
int add_includes_of(std::size_t index);

// Once every file is made: no include is made over a source, and with -l no
// two files that the assembler sees together make the same label name. 0,
// or -1 after the messages.
int check_made_includes();

}  // namespace keston::map
