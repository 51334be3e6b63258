// Standard output split in two: a program whose data (a report, a
// destination) keeps the original standard output sends the messages that
// the shared code prints to standard output on to standard error instead.
#pragma once

namespace keston::platform {

// Points standard output at standard error and returns a new descriptor on
// the original standard output, for the data; -1 on failure.
int divert_standard_output();

// True when name reaches the file that standard output is open on
// (/dev/stdout, /dev/fd/1, or that file's own name).
bool reaches_standard_output(const char* name);

// True when name stands for standard output itself (/dev/stdout, /dev/fd/1)
// rather than for a file: writing to it keeps what the caller made of
// standard output, truncated or appended to.
bool names_standard_output(const char* name);

// True when standard error is open on the regular file that name reaches, so
// that a message would be written into that file. A terminal, a pipe or a
// device such as /dev/null never counts: writes to them land nowhere in a
// file.
bool standard_error_reaches_file(const char* name);

}  // namespace keston::platform
