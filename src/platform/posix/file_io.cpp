#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/posix/descriptors.h"
#include "platform/posix/file_identity.h"

namespace keston::platform {

int open_read(const char* name) {
    int fd;
    do {
        fd = ::open(name, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    return avoid_descriptor_zero(fd);
}

int create_write(const char* name) {
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, S_IRUSR | S_IWUSR);
    return fd < 0 ? -1 : avoid_descriptor_zero(fd);
}

std::int32_t read_bytes(int fd, char* buffer, std::uint32_t count) {
    ssize_t got;
    do {
        got = ::read(fd, buffer, count);
    } while (got < 0 && errno == EINTR);
    return static_cast<std::int32_t>(got);
}

// A POSIX write may take fewer bytes than offered without an error; keep
// offering the rest until all is written or the system refuses.
std::int32_t write_bytes(int fd, const char* buffer, std::uint32_t count) {
    std::uint32_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd, buffer + done, count - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return done == 0 ? -1 : static_cast<std::int32_t>(done);
        done += static_cast<std::uint32_t>(put);
    }
    return static_cast<std::int32_t>(done);
}

std::int32_t seek(int fd, std::int32_t offset, int origin) {
    const off_t position = ::lseek(fd, offset, origin == SEEK_FROM_END ? SEEK_END : SEEK_SET);
    if (position < 0 || position > INT32_MAX) return -1;
    return static_cast<std::int32_t>(position);
}

int close(int fd) {
    return ::close(fd);
}

bool is_device_name(const char* name) {
    constexpr char DEVICES[] = "/dev/";
    return std::strncmp(name, DEVICES, sizeof DEVICES - 1) == 0;
}

bool same_pipe(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    return ::stat(first, &a) == 0 && ::stat(second, &b) == 0 && S_ISFIFO(a.st_mode) && same_file(a, b);
}

}  // namespace keston::platform
