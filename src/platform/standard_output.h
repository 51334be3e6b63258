// Standard output split in two: a program whose report keeps the original
// standard output sends the messages that the shared code prints to standard
// output on to standard error instead.
#pragma once

namespace keston::platform {

// Points standard output at standard error and returns a new descriptor on
// the original standard output, for the report; -1 on failure.
int divert_standard_output();

}  // namespace keston::platform
