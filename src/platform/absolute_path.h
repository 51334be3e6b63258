// File names as they look from the root of the file system.
#pragma once

#include <string>

namespace keston::platform {

// name joined to the current directory unless it is absolute already, with
// "." and ".." resolved by the text alone: no link is followed, the file need
// not exist. Empty when the current directory cannot be found.
std::string absolute_path(const char* name);

}  // namespace keston::platform
