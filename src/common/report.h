// The messages of failures found while a run goes on.
#pragma once

namespace keston {

// Set by report_failure: the run printed a failure message, so its result is
// not complete.
extern bool g_failure_reported;

// While set, a failure is recorded but its message not printed: keston-check
// runs the chain as a trial over a text that is not yet the source, and
// keston-map runs it only to compare its result with a file that keston wrote
// earlier, when keston printed the messages.
extern bool g_failure_messages_muted;

// Prints one failure message (a printf format and its arguments) where the
// failure is found.
[[gnu::format(printf, 1, 2)]] void report_failure(const char* format, ...);

// The destination could not be written whole.
void report_write_error();

}  // namespace keston
