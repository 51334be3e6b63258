#include "platform/standard_output.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>

#include "platform/windows/file_identity.h"

namespace keston::platform {

namespace {

constexpr int STDOUT_DESCRIPTOR = 1;
constexpr int STDERR_DESCRIPTOR = 2;

}  // namespace

// Both descriptors in binary mode, so that the report and the messages are
// written byte for byte, without the runtime's LF to CR LF translation.
int divert_standard_output() {
    const int report = ::_dup(STDOUT_DESCRIPTOR);
    if (report < 0) return -1;
    ::_setmode(report, _O_BINARY);
    ::_setmode(STDERR_DESCRIPTOR, _O_BINARY);
    if (::_dup2(STDERR_DESCRIPTOR, STDOUT_DESCRIPTOR) != 0) return -1;
    return report;
}

// Windows names no file for standard output.
bool reaches_standard_output(const char*) {
    return false;
}

bool names_standard_output(const char*) {
    return false;
}

// The handle behind the runtime's standard error, which its messages use.
bool standard_error_reaches_file(const char* name) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(STDERR_DESCRIPTOR));
    BY_HANDLE_FILE_INFORMATION standard_error{};
    BY_HANDLE_FILE_INFORMATION file{};
    return handle != INVALID_HANDLE_VALUE && identify_open(handle, &standard_error) && identify_name(name, &file) &&
           same_identity(standard_error, file);
}

}  // namespace keston::platform
