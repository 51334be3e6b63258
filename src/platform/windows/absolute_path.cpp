#include "platform/absolute_path.h"

#include <cstdlib>

namespace keston::platform {

// The runtime resolves the drive, the current directory, "." and "..".
char* absolute_path(const char* name) {
    return ::_fullpath(nullptr, name, 0);
}

}  // namespace keston::platform
