// What every POSIX open of the layer does with the descriptor it gets.
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace keston::platform {

// Descriptor 0 means "no descriptor" to the streams; should the system hand
// it out (standard input closed), move the file to a higher descriptor.
inline int avoid_descriptor_zero(int fd) {
    if (fd != 0) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
    ::close(fd);
    return moved;
}

}  // namespace keston::platform
