// What every Windows open of the layer does with the descriptor it gets.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>

namespace keston::platform {

// Descriptor 0 means "no descriptor" to the streams; should the runtime hand
// it out (standard input closed), move the file to another descriptor.
inline int avoid_descriptor_zero(int fd) {
    if (fd != 0) return fd;
    const int moved = ::_dup(fd);
    ::_close(fd);
    return moved;
}

// A binary runtime descriptor for an open file, which it then owns; -1, with
// the handle closed, on failure. -1 for INVALID_HANDLE_VALUE.
inline int descriptor_of(HANDLE file, int flags) {
    if (file == INVALID_HANDLE_VALUE) return -1;
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(file), flags | _O_BINARY);
    if (fd >= 0) return avoid_descriptor_zero(fd);
    ::CloseHandle(file);
    return -1;
}

}  // namespace keston::platform
