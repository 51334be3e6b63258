// Running another program with its output coming back through pipes: how
// keston-map wraps the assembler.
#pragma once

#include <cstdint>

namespace keston::platform {

// Which of the command's streams bytes come from.
constexpr int COMMAND_OUTPUT = 1;
constexpr int COMMAND_ERRORS = 2;

// Takes the bytes of one of the command's streams as they arrive, and a
// count of 0 once that stream has ended. Never called by two threads at once.
// False when it wants no more of that stream: its pipe is closed then, and
// the command meets a closed pipe as it would in a shell pipeline.
using CommandOutputHandler = bool (*)(int stream, const char* bytes, std::uint32_t count);

// Statuses of a command that never ran.
constexpr int COMMAND_NOT_FOUND = -1;
constexpr int COMMAND_NOT_STARTED = -2;

// How the command ended.
struct CommandEnd {
    int status;           // its exit status, or one of the two above
    int signal_number;    // the signal that ended it, or 0 (POSIX only)
    const char* reason;   // why it was not started, for the message
};

// Runs argv[0], found on PATH (a file that is no program is a script of the
// shell), with the arguments argv (ended by a null pointer) and this
// process's standard input, hands its standard output and standard error to
// handler until both have ended, and returns how it ended.
// Meanwhile, on POSIX, a signal that would end this process and is sent to it
// alone goes on to the command; one that the terminal sent to the whole
// process group has reached the command already. Either way this process stays
// to pass on the rest of the command's output and its status. Once the
// command has ended, such a signal ends this process at once, even while a
// child of the command still holds the pipes. A write to a standard output
// whose reader went away fails instead of ending this process.
CommandEnd run_command(const char* const* argv, CommandOutputHandler handler);

// Ends this process by the signal that ended the command.
[[noreturn]] void end_by_signal(int signal_number);

}  // namespace keston::platform
