// The messages of failures found while a run goes on.
#pragma once

#include <cstdint>

namespace keston {

// Set by report_failure: the run printed a failure message, so its result is
// not complete.
extern bool g_failure_reported;

// While set, a failure is recorded but its message not printed: keston-check
// runs the chain as a trial over a text that is not yet the source, and
// keston-map runs it only to compare its result with a file that keston wrote
// earlier, when keston printed the messages.
extern bool g_failure_messages_muted;

// Why a run stopped before the end of its source. Build mode names the
// stop in a message of its own.
enum class RunStop : std::uint8_t {
    NONE,
    LONG_LINE,          // as read
    LONG_AFTER_TABS,    // once tab expansion made it longer
    LONG_AFTER_LABELS,  // once label names made it longer
    LABEL_NAMES_FULL,   // the scope's names fill their array
    LONG_LABEL_NAME,
    READ_ERROR,
};
extern RunStop g_run_stop;

// Prints keston's message for the stop at g_line_number, and records it.
void report_stop(RunStop stop);

// Prints one failure message (a printf format and its arguments) where the
// failure is found.
[[gnu::format(printf, 1, 2)]] void report_failure(const char* format, ...);

// The destination could not be written whole.
void report_write_error();

}  // namespace keston
