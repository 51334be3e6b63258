#include "platform/posix/command_start.h"

#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/posix/command_signals.h"

namespace keston::platform {

namespace {

// Where execvp looks when PATH is not set.
constexpr char DEFAULT_PATH[] = "/bin:/usr/bin";
constexpr int EXEC_FAILED = 127;

// Runs in the new process: the command, or the error of the failed start
// written to report.
[[noreturn]] void run_in_child(const char* const* argv, int output, int errors, int report, const sigset_t& mask) {
    ::dup2(output, STDOUT_FILENO);
    ::dup2(errors, STDERR_FILENO);
    give_command_signals(mask);
    ::execvp(argv[0], const_cast<char* const*>(argv));
    const int error = errno;
    [[maybe_unused]] const ssize_t ignored = ::write(report, &error, sizeof error);
    ::_exit(EXEC_FAILED);
}

// True when a regular file name is in one of PATH's folders (an empty entry
// is the current folder), as shells look for a command; its status into file.
bool on_path(const char* name, struct stat& file) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) path = DEFAULT_PATH;
    const std::size_t length = std::strlen(name);
    char candidate[PATH_MAX];
    for (const char* folder = path;;) {
        const char* const end = ::strchrnul(folder, ':');
        const auto folder_length = static_cast<std::size_t>(end - folder);
        if (folder_length + length + 2 <= sizeof candidate) {
            std::memcpy(candidate, folder, folder_length);
            std::size_t at = folder_length;
            if (at != 0) candidate[at++] = '/';
            std::memcpy(candidate + at, name, length + 1);
            if (::stat(candidate, &file) == 0 && S_ISREG(file.st_mode)) return true;
        }
        if (*end == '\0') return false;
        folder = end + 1;
    }
}

// A command that execvp could not start with error: not found, or found and
// not runnable, with the reason.
CommandEnd start_failure(const char* name, int error) {
    const bool has_path = std::strchr(name, '/') != nullptr;
    struct stat file {};
    const bool found = has_path ? ::stat(name, &file) == 0 : on_path(name, file);
    if (!found && (!has_path || error == ENOENT || error == ENOTDIR)) return {COMMAND_NOT_FOUND, 0, nullptr};
    if (found && S_ISDIR(file.st_mode)) return {COMMAND_NOT_STARTED, 0, std::strerror(EISDIR)};
    // The file is there: what is missing is the interpreter its #! line names.
    if (error == ENOENT) return {COMMAND_NOT_STARTED, 0, "interpreter not found"};
    return {COMMAND_NOT_STARTED, 0, std::strerror(error)};
}

}  // namespace

pid_t start_command(const char* const* argv, int output, int errors, const sigset_t& mask, CommandEnd& failure) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        failure = {COMMAND_NOT_STARTED, 0, std::strerror(errno)};
        return 0;
    }
    const pid_t command = ::fork();
    if (command == 0) run_in_child(argv, output, errors, report[1], mask);
    ::close(report[1]);
    int error = command < 0 ? errno : 0;
    // Nothing comes back once the command runs: the exec closed the pipe.
    while (command > 0 && ::read(report[0], &error, sizeof error) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (error == 0) return command;
    if (command > 0) {
        while (::waitpid(command, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    failure = command < 0 ? CommandEnd{COMMAND_NOT_STARTED, 0, std::strerror(error)} : start_failure(argv[0], error);
    return 0;
}

}  // namespace keston::platform
