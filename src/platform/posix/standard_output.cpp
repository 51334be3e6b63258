#include "platform/standard_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "platform/posix/file_identity.h"

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
           same_file(file, standard_output);
}

bool names_standard_output(const char* name) {
    for (const char* own_name : {"/dev/stdout", "/dev/fd/1"}) {
        if (std::strcmp(name, own_name) == 0) return true;
    }
    return false;
}

}  // namespace keston::platform
