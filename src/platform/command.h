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
using CommandOutputHandler = void (*)(int stream, const char* bytes, std::uint32_t count);

// Results of run_command for a command that never ran.
constexpr int COMMAND_NOT_FOUND = -1;
constexpr int COMMAND_NOT_STARTED = -2;

// Runs argv[0], found on PATH, with the arguments argv (ended by a null
// pointer) and this process's standard input, hands its standard output and
// standard error to handler until both have ended, and returns its exit
// status: 128 plus the signal's number when a signal ended it. Meanwhile an
// interrupt from the terminal, which reaches the command too, leaves this
// process running, and a termination request sent to this process alone is
// passed on to the command.
int run_command(const char* const* argv, CommandOutputHandler handler);

}  // namespace keston::platform
