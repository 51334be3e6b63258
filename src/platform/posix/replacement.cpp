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
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/posix/descriptors.h"
#include "platform/posix/file_identity.h"
#include "platform/handler_array.h"
#include "platform/process.h"

namespace keston::platform {

namespace {

// A name of fixed length beside the target, whatever the length of the
// target's own name, and on the same file system, so that the rename works.
constexpr char TEMPORARY_NAME[] = ".keston-XXXXXX";

// A suffix on the temporary name: the original's second name while the renames run.
constexpr char KEPT_SUFFIX[] = ".orig";

// The replacement being made: its target's real path and its temporary
// name, before it joins the waiting ones.
char g_target_path[PATH_MAX];
char g_temporary_path[PATH_MAX];

// A waiting replacement: its temporary name, NUL, the target's real path,
// NUL, and room for the name the original keeps during the renames.
struct Waiting {
    char* names;
    std::size_t temporary_length;
    std::size_t target_length;
    struct stat original;
    // How far the commit took it.
    bool kept;     // the original has its second name
    bool renamed;  // the temporary name is gone, renamed over the target
    bool noted;    // the caller has been told what became of it
};
// Read by the interrupt handler: the count goes up only once an entry is
// complete and its temporary file exists, and down once the file is gone.
Waiting* g_waiting = nullptr;
volatile sig_atomic_t g_waiting_count = 0;
std::size_t g_waiting_room = 0;
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

const char* temporary_of(const Waiting& waiting) {
    return waiting.names;
}

const char* target_of(const Waiting& waiting) {
    return waiting.names + waiting.temporary_length + 1;
}

char* kept_name_of(const Waiting& waiting) {
    return waiting.names + waiting.temporary_length + 1 + waiting.target_length + 1;
}

Waiting& last_waiting() {
    return g_waiting[g_waiting_count - 1];
}

// A name such as /dev/fd/3 on a deleted file resolves to a path that names
// another file, or none: the real path must still reach the compared file.
bool reaches_original(const Waiting& waiting) {
    struct stat now {};
    return ::stat(target_of(waiting), &now) == 0 && same_file(now, waiting.original);
}

bool target_path_reaches_original() {
    struct stat now {};
    return ::stat(g_target_path, &now) == 0 && same_file(now, g_original);
}

bool make_room() {
    return make_room_for_handler(g_waiting, static_cast<std::size_t>(g_waiting_count), g_waiting_room);
}

// The entry for the replacement being made, its temporary file created under
// a new name; false with nothing created.
bool create_waiting() {
    const std::size_t temporary_length = std::strlen(g_temporary_path);
    const std::size_t target_length = std::strlen(g_target_path);
    if (!make_room()) return false;
    char* const names = static_cast<char*>(std::malloc(2 * temporary_length + target_length + sizeof KEPT_SUFFIX + 2));
    if (names == nullptr) return false;
    std::memcpy(names, g_temporary_path, temporary_length + 1);
    std::memcpy(names + temporary_length + 1, g_target_path, target_length + 1);
    // An interrupt waits until the new file is listed for the handler to remove.
    hold_interrupts();
    const int created = ::mkostemp(names, O_CLOEXEC);
    if (created >= 0) {
        g_waiting[g_waiting_count] = {names, temporary_length, target_length, g_original, false, false, false};
        g_waiting_count = g_waiting_count + 1;
    }
    release_interrupts();
    if (created < 0) {
        std::free(names);
        return false;
    }
    g_sync_fd = created;
    return true;
}

// Forgets the last entry, removing its temporary file unless it has been
// renamed, and the original's second name unless the original is to be found
// only there.
void forget_last(bool original_kept) {
    const Waiting& waiting = last_waiting();
    char* const names = waiting.names;
    if (waiting.kept && !original_kept) ::unlink(kept_name_of(waiting));
    if (!waiting.renamed) ::unlink(names);
    g_waiting_count = g_waiting_count - 1;
    std::free(names);
}

void close_original();

// A second name for each original, beside its temporary file; false when one
// cannot have it, with the index of that one in *failed.
bool keep_originals(std::size_t count, std::size_t* failed) {
    for (std::size_t i = 0; i < count; ++i) {
        Waiting& waiting = g_waiting[i];
        char* const kept = kept_name_of(waiting);
        std::memcpy(kept, temporary_of(waiting), waiting.temporary_length);
        std::memcpy(kept + waiting.temporary_length, KEPT_SUFFIX, sizeof KEPT_SUFFIX);
        waiting.kept = ::link(target_of(waiting), kept) == 0;
        if (!waiting.kept) {
            *failed = i;
            return false;
        }
    }
    return true;
}

// Renames each replacement over its target in turn; false when one fails,
// with its index in *failed.
bool rename_all(std::size_t count, std::size_t* failed) {
    for (std::size_t i = 0; i < count; ++i) {
        g_waiting[i].renamed = ::rename(temporary_of(g_waiting[i]), target_of(g_waiting[i])) == 0;
        if (!g_waiting[i].renamed) {
            *failed = i;
            return false;
        }
    }
    return true;
}

// The original of a replaced target back under its name; false when it
// stays under its second name.
bool put_back(Waiting* waiting) {
    if (::rename(kept_name_of(*waiting), target_of(*waiting)) != 0) return false;
    waiting->kept = false;
    return true;
}

// The replacement being made, when its making ends.
void close_making() {
    close_original();
    if (g_sync_fd >= 0) ::close(g_sync_fd);
    g_sync_fd = -1;
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

std::uint64_t regular_file_links(const char* name) {
    struct stat status {};
    if (::stat(name, &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return status.st_nlink;
}

int create_replacement(const char* target) {
    if (!find_target(target)) {
        close_original();
        return -1;
    }
    if (!create_waiting()) {
        close_original();
        return -1;
    }
    const int fd = avoid_descriptor_zero(std::exchange(g_sync_fd, -1));
    if (fd >= 0) g_sync_fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
    if (g_sync_fd < 0 || !take_original_settings(fd)) {
        if (fd >= 0) ::close(fd);
        close_making();
        forget_last(false);
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
    const bool done = g_sync_fd >= 0 && take_original_settings(g_sync_fd) && ::fsync(g_sync_fd) == 0;
    close_making();
    return done ? 0 : -1;
}

bool replacement_target_unchanged() {
    return g_waiting_count > 0 && reaches_original(last_waiting());
}

const char* replacement_name() {
    return temporary_of(last_waiting());
}

int commit_replacement() {
    close_making();
    if (g_waiting_count != 1) return -1;
    if (::rename(temporary_of(last_waiting()), target_of(last_waiting())) != 0) {
        discard_replacement();
        return -1;
    }
    forget_last(false);
    return 0;
}

std::size_t commit_replacements(UnreplacedNote note) {
    close_making();
    hold_interrupts();
    const auto count = static_cast<std::size_t>(g_waiting_count);
    std::size_t noted = 0;
    const auto tell = [&](std::size_t i, Unreplaced why, const char* kept_as) {
        note(i, why, kept_as);
        g_waiting[i].noted = true;
        ++noted;
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (!reaches_original(g_waiting[i])) tell(i, Unreplaced::target_changed, nullptr);
    }
    std::size_t failed = 0;
    // One file alone needs no way back: its rename either happens or not.
    if (noted == 0 && count > 1 && !keep_originals(count, &failed)) tell(failed, Unreplaced::original_not_kept, nullptr);
    if (noted == 0 && !rename_all(count, &failed)) {
        tell(failed, Unreplaced::not_renamed, nullptr);
        for (std::size_t i = 0; i < failed; ++i) {
            const bool back = put_back(&g_waiting[i]);
            tell(i, back ? Unreplaced::put_back : Unreplaced::not_put_back, back ? nullptr : kept_name_of(g_waiting[i]));
        }
    }
    for (std::size_t i = 0; i < count && noted != 0; ++i) {
        if (!g_waiting[i].noted) tell(i, Unreplaced::held_back, nullptr);
    }
    while (g_waiting_count > 0) forget_last(last_waiting().renamed && noted != 0);
    release_interrupts();
    return noted;
}

void discard_replacement() {
    close_making();
    while (g_waiting_count > 0) forget_last(false);
}

void discard_replacement_on_interrupt() {
    for (sig_atomic_t i = 0; i < g_waiting_count; ++i) ::unlink(temporary_of(g_waiting[i]));
}

}  // namespace keston::platform
