// The signals of a run of keston-map's command: those that would end this
// process go on to the command while it runs, and SIGCHLD tells when it ends.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include "platform/command.h"

namespace keston::platform {

// Before the command starts: holds back the signals that are passed on, and
// SIGCHLD, which only the relay's wait lets in. Returns the mask before.
sigset_t hold_command_signals();

// In the command's process, before it runs: the signal actions and the mask
// that this process had at start, except that the write signals that had
// their default action then get it back.
void give_command_signals(const sigset_t& mask);

// From now on the signals that are held back are passed on to command, except
// those that the terminal sent to the whole process group; SIGCHLD stays held.
void pass_signals_to(pid_t command);

// Reaps the command if it has ended, and then gives the signals that were
// passed on their default action back, so that one arriving later ends this
// process at once; false while it runs.
bool reap(pid_t command, CommandEnd& end);

// After the run: SIGCHLD's action and the mask as they were before.
void release_command_signals(const sigset_t& mask);

}  // namespace keston::platform
