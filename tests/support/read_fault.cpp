// Preloaded into a program under test (LD_PRELOAD): reads of the file whose
// path ends in $KESTON_FAULT_FILE get no byte at or past $KESTON_FAULT_OFFSET.
// There, with $KESTON_FAULT_ACTION "fail", every read fails with EIO, as on a
// failing disk; with "stop", the process stops itself (SIGSTOP) once and
// then reads on, so that a test can act at a known point of the run.

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using ReadFunction = ssize_t (*)(int, void*, size_t);

bool is_fault_file(int fd, const char* suffix) {
    char path[4096];
    const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return length > 0 && std::string_view(path, static_cast<std::size_t>(length)).ends_with(suffix);
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    static const auto real_read = reinterpret_cast<ReadFunction>(::dlsym(RTLD_NEXT, "read"));
    static bool stopped = false;
    const char* const file = std::getenv("KESTON_FAULT_FILE");
    if (file == nullptr || !is_fault_file(fd, file)) return real_read(fd, buffer, count);
    const off_t offset = std::strtoll(std::getenv("KESTON_FAULT_OFFSET"), nullptr, 10);
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (position < offset) return real_read(fd, buffer, std::min<size_t>(count, offset - position));
    if (std::string(std::getenv("KESTON_FAULT_ACTION")) == "fail") {
        errno = EIO;
        return -1;
    }
    if (!stopped) {
        stopped = true;
        ::raise(SIGSTOP);
    }
    return real_read(fd, buffer, count);
}
