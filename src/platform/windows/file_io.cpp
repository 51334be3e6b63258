#include "platform/file_io.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdint>

#include "platform/windows/descriptors.h"

namespace keston::platform {

int open_read(const char* name) {
    const int fd = ::_open(name, _O_RDONLY | _O_BINARY | _O_SEQUENTIAL, 0);
    return fd < 0 ? -1 : avoid_descriptor_zero(fd);
}

int create_write(const char* name) {
    const int fd = ::_open(name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_SEQUENTIAL, _S_IREAD | _S_IWRITE);
    return fd < 0 ? -1 : avoid_descriptor_zero(fd);
}

std::int32_t read_bytes(int fd, char* buffer, std::uint32_t count) {
    return ::_read(fd, buffer, count);
}

std::int32_t write_bytes(int fd, const char* buffer, std::uint32_t count) {
    std::uint32_t done = 0;
    while (done < count) {
        const int put = ::_write(fd, buffer + done, count - done);
        if (put <= 0) return done == 0 ? -1 : static_cast<std::int32_t>(done);
        done += static_cast<std::uint32_t>(put);
    }
    return static_cast<std::int32_t>(done);
}

// The 64-bit seek: _lseek's long has 32 bits on Windows, where a size past
// 4 GiB would come back as its low part.
std::int32_t seek(int fd, std::int32_t offset, int origin) {
    const std::int64_t position = ::_lseeki64(fd, offset, origin == SEEK_FROM_END ? SEEK_END : SEEK_SET);
    if (position < 0 || position > INT32_MAX) return -1;
    return static_cast<std::int32_t>(position);
}

int close(int fd) {
    return ::_close(fd);
}

// Windows device names (NUL, CON) work with an extension too.
bool is_device_name(const char*) {
    return false;
}

}  // namespace keston::platform
