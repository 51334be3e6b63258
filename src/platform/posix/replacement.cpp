#include "platform/replacement.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
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
// A descriptor on the replaced file, which its settings are read from, also
// once its name has gone.
int g_original_fd = -1;

// Room for the largest attribute list and the largest attribute value that
// Linux allows.
constexpr std::size_t ATTRIBUTE_SPACE = 65536;
char g_attribute_names[ATTRIBUTE_SPACE];
char g_replacement_attribute_names[ATTRIBUTE_SPACE];
char g_attribute_value[ATTRIBUTE_SPACE];

// The file flags (lsattr) that belong to a file's content and its handling
// and that its owner may set. Immutable and append-only files never get here,
// since they cannot be opened for writing.
constexpr int COPIED_FLAGS = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL | FS_NODUMP_FL | FS_NOATIME_FL |
                             FS_NOCOMP_FL | FS_JOURNAL_DATA_FL | FS_NOTAIL_FL | FS_NOCOW_FL | FS_DAX_FL;
// A directory with these flags lets files be created in it but never removed.
constexpr int NO_REMOVAL_FLAGS = FS_APPEND_FL | FS_IMMUTABLE_FL;

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

// The file flags of fd: 0 where the file system has none.
bool get_flags(int fd, int* flags) {
    *flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, flags) == 0 || errno == ENOTTY || errno == EOPNOTSUPP || errno == ENOSYS;
}

// The temporary file goes into the directory of the target's real path, which
// must let it be removed again, after a failure, as much as renamed.
bool name_temporary() {
    const char* const slash = std::strrchr(g_target_path, '/');
    const std::size_t directory_length = static_cast<std::size_t>(slash - g_target_path) + 1;
    if (directory_length + sizeof TEMPORARY_NAME > sizeof g_temporary_path) return false;
    std::memcpy(g_temporary_path, g_target_path, directory_length);
    g_temporary_path[directory_length] = '\0';
    const int directory = ::open(g_temporary_path, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    if (directory >= 0) {
        get_flags(directory, &flags);
        ::close(directory);
    }
    std::memcpy(g_temporary_path + directory_length, TEMPORARY_NAME, sizeof TEMPORARY_NAME);
    return (flags & NO_REMOVAL_FLAGS) == 0;
}

bool open_original() {
    struct stat opened {};
    g_original_fd = ::open(g_target_path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    return g_original_fd >= 0 && ::fstat(g_original_fd, &opened) == 0 && same_file(opened, g_original);
}

void close_original() {
    if (g_original_fd >= 0) ::close(g_original_fd);
    g_original_fd = -1;
}

bool find_target(const char* target) {
    return ::stat(target, &g_original) == 0 && ::realpath(target, g_target_path) != nullptr &&
           target_path_reaches_original() && may_write_original() && name_temporary() && open_original();
}

// Calls take(name) for every name of a list that flistxattr filled; false
// as soon as one call fails.
template <typename Take>
bool for_each_attribute(const char* names, ssize_t listed, Take take) {
    for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        if (!take(names + at)) return false;
    }
    return true;
}

// The attributes a new file takes from its directory (a default ACL above
// all) and the original lacks would give others access to the result.
bool drop_foreign_attributes(int fd) {
    const ssize_t listed = ::flistxattr(fd, g_replacement_attribute_names, sizeof g_replacement_attribute_names);
    if (listed < 0) return errno == ENOTSUP;
    return for_each_attribute(g_replacement_attribute_names, listed, [fd](const char* name) {
        return ::fgetxattr(g_original_fd, name, nullptr, 0) >= 0 || ::fremovexattr(fd, name) == 0;
    });
}

// Every extended attribute that the original shows us, POSIX ACLs among them.
// A file system without attributes has none to copy.
bool copy_attributes(int fd) {
    const ssize_t listed = ::flistxattr(g_original_fd, g_attribute_names, sizeof g_attribute_names);
    if (listed < 0) return errno == ENOTSUP;
    return for_each_attribute(g_attribute_names, listed, [fd](const char* name) {
        const ssize_t size = ::fgetxattr(g_original_fd, name, g_attribute_value, sizeof g_attribute_value);
        return size >= 0 && ::fsetxattr(fd, name, g_attribute_value, static_cast<std::size_t>(size), 0) == 0;
    });
}

// The original's flags, and none that the new file took from its directory;
// a file system may take a flag without keeping it, so the result is read back.
bool copy_flags(int fd) {
    int original = 0;
    int replacement = 0;
    if (!get_flags(g_original_fd, &original) || !get_flags(fd, &replacement)) return false;
    const int wanted = (replacement & ~COPIED_FLAGS) | (original & COPIED_FLAGS);
    if (wanted == replacement) return true;
    int kept = 0;
    return ::ioctl(fd, FS_IOC_SETFLAGS, &wanted) == 0 && get_flags(fd, &kept) &&
           (kept & COPIED_FLAGS) == (original & COPIED_FLAGS);
}

// Owner and group first, since a change of owner may clear set-user-ID bits;
// then the permission bits, and the original's attributes last, since an ACL
// sets the group's bits itself.
bool take_original_settings(int fd) {
    return ::fchown(fd, g_original.st_uid, g_original.st_gid) == 0 && drop_foreign_attributes(fd) &&
           ::fchmod(fd, g_original.st_mode & 07777) == 0 && copy_attributes(fd) && copy_flags(fd);
}

}  // namespace

bool same_regular_file(const char* first, const char* second) {
    struct stat a {};
    struct stat b {};
    if (::stat(first, &a) != 0 || ::stat(second, &b) != 0) return false;
    return S_ISREG(a.st_mode) && same_file(a, b);
}

bool regular_file_key(const char* name, RegularFileKey* key) {
    struct stat status {};
    if (::stat(name, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    *key = {static_cast<unsigned long long>(status.st_dev), static_cast<unsigned long long>(status.st_ino)};
    return true;
}

int create_replacement(const char* target) {
    if (!find_target(target)) {
        close_original();
        return -1;
    }
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
    close_original();
    return 0;
}

void discard_replacement() {
    close_original();
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
