// The process set-up of the programs that work as filters in a pipe
// (keston-check, keston-map).
#pragma once

namespace keston::platform {

// As prepare_process, except that a reader of standard output that goes away
// ends the process quietly, by the signal's default action, as it ends grep
// or sed; where that signal was ignored at start, such a write fails instead.
// Standard input is read byte for byte.
void prepare_filter_process();

}  // namespace keston::platform
