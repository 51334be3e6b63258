#include "platform/replacement.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/posix/descriptors.h"
#include "platform/posix/file_identity.h"
#include "platform/process.h"

namespace keston::platform {

namespace {

// A name of fixed length beside the target, whatever the length of the
// target's own name, and on the same file system, so that the rename works.
constexpr char TEMPORARY_NAME[] = ".keston-XXXXXX";

char g_target_path[PATH_MAX];
char g_temporary_path[PATH_MAX];
// Set while the temporary file exists under its own name; read by the
// interrupt handler.
volatile sig_atomic_t g_temporary_exists = 0;
// A second descriptor on the replacement, which stays usable for the final
// sync whatever permission bits the file has taken meanwhile.
int g_sync_fd = -1;
// The replaced file as it was compared with the source: its identity, owner
// and permission bits.
struct stat g_original;

// Room for the largest attribute list and the largest attribute value that
// Linux allows.
constexpr std::size_t ATTRIBUTE_SPACE = 65536;
char g_attribute_names[ATTRIBUTE_SPACE];
char g_attribute_value[ATTRIBUTE_SPACE];

// A name such as /dev/fd/3 on a deleted file resolves to a path that names
// another file, or none: the real path must still reach the compared file.
bool target_path_reaches_original() {
    struct stat now {};
    return ::stat(g_target_path, &now) == 0 && same_file(now, g_original);
}

// The rewrite is the user's to make only where they could write the file
// itself; opening it for writing, without truncation, changes nothing.
bool may_write_original() {
    const int fd = ::open(g_target_path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// The temporary file goes into the directory of the target's real path.
bool name_temporary() {
    const char* const slash = std::strrchr(g_target_path, '/');
    const std::size_t directory_length = static_cast<std::size_t>(slash - g_target_path) + 1;
    if (directory_length + sizeof TEMPORARY_NAME > sizeof g_temporary_path) return false;
    std::memcpy(g_temporary_path, g_target_path, directory_length);
    std::memcpy(g_temporary_path + directory_length, TEMPORARY_NAME, sizeof TEMPORARY_NAME);
    return true;
}

bool find_target(const char* target) {
    return ::stat(target, &g_original) == 0 && ::realpath(target, g_target_path) != nullptr &&
           target_path_reaches_original() && may_write_original() && name_temporary();
}

// Every extended attribute that the original shows us, POSIX ACLs among them.
// A file system without attributes has none to copy.
bool copy_attributes(int fd) {
    const int original = ::open(g_target_path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (original < 0) return false;
    const ssize_t listed = ::flistxattr(original, g_attribute_names, sizeof g_attribute_names);
    bool copied = listed >= 0 || errno == ENOTSUP;
    for (ssize_t at = 0; copied && at < listed; at += static_cast<ssize_t>(std::strlen(g_attribute_names + at)) + 1) {
        const char* const name = g_attribute_names + at;
        const ssize_t size = ::fgetxattr(original, name, g_attribute_value, sizeof g_attribute_value);
        copied = size >= 0 && ::fsetxattr(fd, name, g_attribute_value, static_cast<std::size_t>(size), 0) == 0;
    }
    ::close(original);
    return copied;
}

// Owner and group first, since a change of owner may clear set-user-ID bits;
// then the permission bits, and the attributes last, since an ACL sets the
// group's bits itself.
bool take_original_settings(int fd) {
    return ::fchown(fd, g_original.st_uid, g_original.st_gid) == 0 && ::fchmod(fd, g_original.st_mode & 07777) == 0 &&
           copy_attributes(fd);
}

}  // namespace

bool same_regular_file(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    if (::stat(first, &a) != 0 || ::stat(second, &b) != 0) return false;
    return S_ISREG(a.st_mode) && same_file(a, b);
}

int create_replacement(const char* target) {
    if (!find_target(target)) return -1;
    // An interrupt waits until the new file is marked for the handler to remove.
    hold_interrupts();
    const int created = ::mkostemp(g_temporary_path, O_CLOEXEC);
    if (created >= 0) g_temporary_exists = 1;
    release_interrupts();
    if (created < 0) return -1;
    const int fd = avoid_descriptor_zero(created);
    if (fd >= 0) g_sync_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
    if (g_sync_fd < 0 || !take_original_settings(fd)) {
        if (fd >= 0) ::close(fd);
        discard_replacement();
        return -1;
    }
    return fd;
}

// Writing clears set-user-ID and set-group-ID bits and file capabilities, so
// the settings that the new file took when it was created, which showed that
// it can keep them all, are given once more. The data goes to the disk
// before the name does, so that no crash can leave the name on an empty or
// partial file.
int complete_replacement() {
    const bool done = take_original_settings(g_sync_fd) && ::fsync(g_sync_fd) == 0;
    ::close(g_sync_fd);
    g_sync_fd = -1;
    return done ? 0 : -1;
}

bool replacement_target_unchanged() {
    return target_path_reaches_original();
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
    if (g_sync_fd >= 0) ::close(g_sync_fd);
    g_sync_fd = -1;
    if (g_temporary_exists == 0) return;
    ::unlink(g_temporary_path);
    g_temporary_exists = 0;
}

void discard_replacement_on_interrupt() {
    if (g_temporary_exists != 0) ::unlink(g_temporary_path);
}

}  // namespace keston::platform
