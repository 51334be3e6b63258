#include "platform/file_io.h"

#include <io.h>
#include <windows.h>

#include <cstdint>

#include "platform/windows/descriptors.h"
#include "platform/windows/wide_path.h"

namespace keston::platform {

namespace {

// Shared as the runtime's own opens share a file: others may read and write it.
constexpr DWORD SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE;

wchar_t g_path[WIDE_PATH_SIZE];

}  // namespace

// A directory fails: it opens only with backup semantics.
int open_read(const char* name) {
    if (!wide_path(name, g_path)) return -1;
    return descriptor_of(::CreateFileW(g_path, GENERIC_READ, SHARING, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
                         _O_RDONLY);
}

int create_write(const char* name) {
    if (!wide_path(name, g_path)) return -1;
    return descriptor_of(::CreateFileW(g_path, GENERIC_WRITE, SHARING, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr),
                         _O_WRONLY);
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

// Windows names no pipe that a run could open from both ends.
bool same_pipe(const char*, const char*) {
    return false;
}

}  // namespace keston::platform
