// File names as they look from the root of the file system.
#pragma once

namespace keston::platform {

// name joined to the current directory unless it is absolute already, with
// "." and ".." resolved by the text alone: no link is followed, the file need
// not exist. A new string from malloc; null when the current directory or
// the memory for the name cannot be had.
char* absolute_path(const char* name);

}  // namespace keston::platform
