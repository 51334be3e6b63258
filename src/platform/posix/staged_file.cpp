#include "platform/staged_file.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/descriptors.h"
#include "platform/handler_array.h"
#include "platform/process.h"

namespace keston::platform {

namespace {

// Beside the destination, so that the rename stays on one file system.
constexpr char TEMPORARY_NAME[] = ".keston-XXXXXX";

// A staged file: its temporary name, NUL, and the destination's name.
struct Staged {
    char* names;
    std::size_t temporary_length;
};

// Read by the interrupt handler: the count goes up only once an entry is
// complete, and down before an entry goes.
Staged* g_staged = nullptr;
volatile sig_atomic_t g_staged_count = 0;
std::size_t g_staged_room = 0;

const char* destination_of(const Staged& staged) {
    return staged.names + staged.temporary_length + 1;
}

bool make_room() {
    return make_room_for_handler(g_staged, static_cast<std::size_t>(g_staged_count), g_staged_room);
}

// The permission bits of the destination, or those keston gives a new file:
// read and write for the owner, less the umask.
mode_t mode_for(const char* destination) {
    struct stat status {};
    if (::stat(destination, &status) == 0) return status.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return (S_IRUSR | S_IWUSR) & ~mask;
}

void remove_last() {
    const Staged staged = g_staged[g_staged_count - 1];
    g_staged_count = g_staged_count - 1;
    ::unlink(staged.names);
    std::free(staged.names);
}

}  // namespace

int stage_file(const char* destination, const char** temporary) {
    if (!make_room()) return -1;
    const char* const slash = std::strrchr(destination, '/');
    const std::size_t folder_length = slash == nullptr ? 0 : static_cast<std::size_t>(slash - destination) + 1;
    const std::size_t temporary_length = folder_length + sizeof TEMPORARY_NAME - 1;
    char* const names = static_cast<char*>(std::malloc(temporary_length + 1 + std::strlen(destination) + 1));
    if (names == nullptr) return -1;
    std::memcpy(names, destination, folder_length);
    std::memcpy(names + folder_length, TEMPORARY_NAME, sizeof TEMPORARY_NAME);
    std::strcpy(names + temporary_length + 1, destination);
    // An interrupt waits until the new file is listed for the handler to remove.
    hold_interrupts();
    const int created = ::mkostemp(names, O_CLOEXEC);
    if (created >= 0) {
        g_staged[g_staged_count] = {names, temporary_length};
        g_staged_count = g_staged_count + 1;
    }
    release_interrupts();
    if (created < 0) {
        std::free(names);
        return -1;
    }
    const int fd = avoid_descriptor_zero(created);
    if (fd < 0 || ::fchmod(fd, mode_for(destination)) != 0) {
        if (fd >= 0) ::close(fd);
        remove_last();
        return -1;
    }
    *temporary = names;
    return fd;
}

void unstage_last() {
    if (g_staged_count > 0) remove_last();
}

std::size_t commit_staged() {
    while (g_staged_count > 0) {
        const Staged& staged = g_staged[g_staged_count - 1];
        if (::rename(staged.names, destination_of(staged)) != 0) {
            const auto left = static_cast<std::size_t>(g_staged_count);
            discard_staged();
            return left;
        }
        g_staged_count = g_staged_count - 1;
        std::free(staged.names);
    }
    return 0;
}

void discard_staged() {
    while (g_staged_count > 0) remove_last();
}

void discard_staged_on_interrupt() {
    for (sig_atomic_t i = 0; i < g_staged_count; ++i) ::unlink(g_staged[i].names);
}

int renew_time(const char* name) {
    return ::utimensat(AT_FDCWD, name, nullptr, 0) == 0 ? 0 : -1;
}

std::int64_t modification_time(const char* name) {
    struct stat status {};
    if (::stat(name, &status) != 0) return -1;
    return static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

}  // namespace keston::platform
