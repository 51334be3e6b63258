#include "platform/standard_output.h"

#include <fcntl.h>
#include <unistd.h>

namespace keston::platform {

int divert_standard_output() {
    const int report = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    if (report < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return -1;
    return report;
}

}  // namespace keston::platform
