#include "platform/replacement.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/posix/descriptors.h"
#include "platform/process.h"

namespace keston::platform {

namespace {

constexpr char TEMPORARY_SUFFIX[] = ".keston-XXXXXX";

char g_target_path[PATH_MAX];
char g_temporary_path[PATH_MAX];
// Set while the temporary file exists under its own name; read by the
// interrupt handler.
volatile sig_atomic_t g_temporary_exists = 0;
// The replaced file's owner and permission bits, which the replacement takes
// once it is complete: until then it is the process's own, readable and writable.
struct stat g_original;

// The temporary file's name: the target's real path with the suffix, so that
// it lies in the same directory and the rename stays on one file system.
bool name_temporary(const char* target) {
    if (::realpath(target, g_target_path) == nullptr) return false;
    const std::size_t length = std::strlen(g_target_path);
    if (length + sizeof TEMPORARY_SUFFIX > sizeof g_temporary_path) return false;
    std::memcpy(g_temporary_path, g_target_path, length);
    std::memcpy(g_temporary_path + length, TEMPORARY_SUFFIX, sizeof TEMPORARY_SUFFIX);
    return true;
}

// The owner can only be given where the process may; the permission bits go
// last, since a change of owner may clear set-user-ID bits.
void copy_ownership(int fd, const struct stat& original) {
    [[maybe_unused]] const int ignored = ::fchown(fd, original.st_uid, original.st_gid);
    ::fchmod(fd, original.st_mode & 07777);
}

}  // namespace

bool same_regular_file(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    if (::stat(first, &a) != 0 || ::stat(second, &b) != 0) return false;
    return S_ISREG(a.st_mode) && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int create_replacement(const char* target) {
    if (::stat(target, &g_original) != 0 || !name_temporary(target)) return -1;
    // An interrupt waits until the new file is marked for the handler to remove.
    hold_interrupts();
    const int created = ::mkostemp(g_temporary_path, O_CLOEXEC);
    if (created >= 0) g_temporary_exists = 1;
    release_interrupts();
    if (created < 0) return -1;
    const int fd = avoid_descriptor_zero(created);
    if (fd < 0) discard_replacement();
    return fd;
}

// The data goes to the disk before the name does, so that no crash can leave
// the name on an empty or partial file.
int complete_replacement() {
    const int fd = ::open(g_temporary_path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    const int synced = ::fsync(fd);
    copy_ownership(fd, g_original);
    ::close(fd);
    return synced;
}

int commit_replacement() {
    if (g_temporary_exists == 0) return -1;
    if (::rename(g_temporary_path, g_target_path) != 0) {
        discard_replacement();
        return -1;
    }
    g_temporary_exists = 0;
    return 0;
}

void discard_replacement() {
    if (g_temporary_exists == 0) return;
    ::unlink(g_temporary_path);
    g_temporary_exists = 0;
}

void discard_replacement_on_interrupt() {
    if (g_temporary_exists != 0) ::unlink(g_temporary_path);
}

}  // namespace keston::platform
