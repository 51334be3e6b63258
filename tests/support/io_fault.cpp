// Preloaded into a program under test (LD_PRELOAD): faults of the system on
// the file whose path contains $KESTON_FAULT_FILE, as $KESTON_FAULT_ACTION says.
// Reads get no byte at or past $KESTON_FAULT_OFFSET; there, with "fail",
// every read fails with EIO, as on a failing disk; with "fail-once" the first
// does and the next ones read on; with "stop" the process stops itself
// (SIGSTOP) once and then reads on, so that a test can act at a known point.
// "close" makes the close of the file fail with EIO, as a network file system
// reports a failed write; with "write-once" its first write fails with EIO
// and the next ones write on, as after a passing fault of a disk; "stop-unlink" stops the process once right before
// the file is removed. A rename from or to the file, with "rename", fails
// with EIO once $KESTON_FAULT_OFFSET of them have passed; with
// "stop-rename" the process stops once right before the first.

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

const char* fault_file() {
    return std::getenv("KESTON_FAULT_FILE");
}

bool action_is(const char* action) {
    const char* const wanted = std::getenv("KESTON_FAULT_ACTION");
    return wanted != nullptr && std::strcmp(wanted, action) == 0;
}

bool is_fault_path(const char* path) {
    return fault_file() != nullptr && std::strstr(path, fault_file()) != nullptr;
}

bool is_fault_descriptor(int fd) {
    char path[4096];
    const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    if (length <= 0) return false;
    path[length] = '\0';
    return is_fault_path(path);
}

void stop_once() {
    static bool stopped = false;
    if (stopped) return;
    stopped = true;
    ::raise(SIGSTOP);
}

template <typename Function>
Function real(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count) {
    static const auto real_read = real<ssize_t (*)(int, void*, size_t)>("read");
    static bool failed = false;
    if (!is_fault_descriptor(fd)) return real_read(fd, buffer, count);
    const off_t offset = std::strtoll(std::getenv("KESTON_FAULT_OFFSET"), nullptr, 10);
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (position < offset) return real_read(fd, buffer, std::min<size_t>(count, offset - position));
    if (action_is("fail") || (action_is("fail-once") && !failed)) {
        failed = true;
        errno = EIO;
        return -1;
    }
    if (action_is("stop")) stop_once();
    return real_read(fd, buffer, count);
}

extern "C" ssize_t write(int fd, const void* buffer, size_t count) {
    static const auto real_write = real<ssize_t (*)(int, const void*, size_t)>("write");
    static bool failed = false;
    if (!action_is("write-once") || failed || !is_fault_descriptor(fd)) return real_write(fd, buffer, count);
    failed = true;
    errno = EIO;
    return -1;
}

extern "C" int close(int fd) {
    static const auto real_close = real<int (*)(int)>("close");
    const bool fails = action_is("close") && is_fault_descriptor(fd);
    const int result = real_close(fd);
    if (!fails) return result;
    errno = EIO;
    return -1;
}

extern "C" int unlink(const char* path) {
    static const auto real_unlink = real<int (*)(const char*)>("unlink");
    if (action_is("stop-unlink") && is_fault_path(path)) stop_once();
    return real_unlink(path);
}

extern "C" int rename(const char* from, const char* to) {
    static const auto real_rename = real<int (*)(const char*, const char*)>("rename");
    static long long passed = 0;
    if (!is_fault_path(from) && !is_fault_path(to)) return real_rename(from, to);
    if (action_is("stop-rename")) stop_once();
    if (action_is("rename") && passed++ >= std::strtoll(std::getenv("KESTON_FAULT_OFFSET"), nullptr, 10)) {
        errno = EIO;
        return -1;
    }
    return real_rename(from, to);
}
