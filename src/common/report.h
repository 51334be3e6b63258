// The messages of failures found while a run goes on.
#pragma once

namespace keston {

// Set by report_failure: the run printed a failure message, so its result is
// not complete.
extern bool g_failure_reported;

// Cleared by a program that runs the chain only to compare its result with a
// file keston wrote earlier: keston printed the messages then, so the
// failures are only noted in g_failure_reported.
extern bool g_failure_messages_shown;

// Prints one failure message (a printf format and its arguments) where the
// failure is found.
[[gnu::format(printf, 1, 2)]] void report_failure(const char* format, ...);

// The destination could not be written whole.
void report_write_error();

}  // namespace keston
