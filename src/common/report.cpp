#include "common/report.h"

#include <cstdarg>
#include <cstdio>

namespace keston {

bool g_failure_reported = false;
bool g_failure_messages_shown = true;

void report_failure(const char* format, ...) {
    g_failure_reported = true;
    if (!g_failure_messages_shown) return;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

void report_write_error() {
    report_failure("\n\r?KESTON-F-Output file write error\n\r");
}

}  // namespace keston
