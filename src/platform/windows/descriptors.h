// What every Windows open of the layer does with the descriptor it gets.
#pragma once

#include <io.h>

namespace keston::platform {

// Descriptor 0 means "no descriptor" to the streams; should the runtime hand
// it out (standard input closed), move the file to another descriptor.
inline int avoid_descriptor_zero(int fd) {
    if (fd != 0) return fd;
    const int moved = ::_dup(fd);
    ::_close(fd);
    return moved;
}

}  // namespace keston::platform
