// Starting keston-map's command as a shell would: found on PATH, a file
// without #! run by /bin/sh, and the shell's two statuses for a command that
// does not run.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include "platform/command.h"

namespace keston::platform {

// The command in a new process with its standard output and standard error
// on output and errors and with the signals that give_command_signals gives
// it from mask; its process id, or 0 with why it did not start in failure.
pid_t start_command(const char* const* argv, int output, int errors, const sigset_t& mask, CommandEnd& failure);

}  // namespace keston::platform
