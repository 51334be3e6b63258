#include "platform/standard_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace keston::platform {

int divert_standard_output() {
    const int report = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (report < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return -1;
    return report;
}

bool reaches_standard_output(const char* name) {
    struct stat file {};
    struct stat standard_output {};
    return ::stat(name, &file) == 0 && ::fstat(STDOUT_FILENO, &standard_output) == 0 &&
           file.st_dev == standard_output.st_dev && file.st_ino == standard_output.st_ino;
}

}  // namespace keston::platform
