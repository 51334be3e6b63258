#include "platform/absolute_path.h"

#include <cstdlib>

namespace keston::platform {

// The runtime resolves the drive, the current directory, "." and "..".
std::string absolute_path(const char* name) {
    char* const full = ::_fullpath(nullptr, name, 0);
    if (full == nullptr) return {};
    std::string path(full);
    std::free(full);
    return path;
}

}  // namespace keston::platform
