// The signals that a write beyond its reader or its size limit sends: each
// program ignores them, so that such writes come back as write errors.
#pragma once

#include <signal.h>

namespace keston::platform {

// Those of them that had their default action when the process started:
// a filter, and a command that keston-map runs, take them back.
const sigset_t& write_signals_default_at_start();

}  // namespace keston::platform
