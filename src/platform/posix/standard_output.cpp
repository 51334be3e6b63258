#include "platform/standard_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "platform/posix/file_identity.h"

namespace keston::platform {

namespace {

// True when descriptor fd is open on the file that name reaches; the file's
// status into open_file.
bool open_on(const char* name, int fd, struct stat& open_file) {
    struct stat file {};
    return ::stat(name, &file) == 0 && ::fstat(fd, &open_file) == 0 && same_file(file, open_file);
}

}  // namespace

int divert_standard_output() {
    const int report = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (report < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return -1;
    return report;
}

bool reaches_standard_output(const char* name) {
    struct stat standard_output {};
    return open_on(name, STDOUT_FILENO, standard_output);
}

bool names_standard_output(const char* name) {
    for (const char* own_name : {"/dev/stdout", "/dev/fd/1"}) {
        if (std::strcmp(name, own_name) == 0) return true;
    }
    return false;
}

bool standard_error_reaches_file(const char* name) {
    struct stat standard_error {};
    return open_on(name, STDERR_FILENO, standard_error) && S_ISREG(standard_error.st_mode);
}

}  // namespace keston::platform
