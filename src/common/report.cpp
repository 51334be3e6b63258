#include "common/report.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "common/globals.h"

namespace keston {

bool g_failure_reported = false;
bool g_failure_messages_muted = false;

void report_failure(const char* format, ...) {
    g_failure_reported = true;
    if (g_failure_messages_muted) return;
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

RunStop g_run_stop = RunStop::NONE;

void report_stop(RunStop stop) {
    // By RunStop, from LONG_LINE on.
    static constexpr const char* MESSAGES[] = {
        "\n\r?KESTON-F-Line %" PRIu64 " in input source file is too long\n\r",
        "\n\r?KESTON-F-Line %" PRIu64 " is too long after tab conversion\n\r",
        "\n\r?KESTON-F-Line %" PRIu64 " is too long after label processing\n\r",
        "\n\r?KESTON-F-Local label name array oveflow at line %" PRIu64 "\n\r",
        "\n\r?KESTON-F-Local label name is too long in line %" PRIu64 "\n\r",
        "\n\r?KESTON-F-Input file read error\n\r",
    };
    g_run_stop = stop;
    // The read error's message names no line: the number goes unread.
    report_failure(MESSAGES[static_cast<int>(stop) - 1], g_line_number);
}

void report_write_error() {
    report_failure("\n\r?KESTON-F-Output file write error\n\r");
}

}  // namespace keston
