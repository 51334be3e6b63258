#include "platform/command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/command_signals.h"
#include "platform/posix/command_start.h"

namespace keston::platform {

namespace {

constexpr std::uint32_t READ_SIZE = 65536;

struct Pipes {
    pollfd ends[2];
    int open;
};

void close_pipe(Pipes& pipes, int i) {
    ::close(pipes.ends[i].fd);
    pipes.ends[i].fd = -1;  // poll passes it over
    --pipes.open;
}

// Hands over what one pipe has ready; closes it at its end, or when the
// handler wants no more of it.
void take_from(Pipes& pipes, int i, CommandOutputHandler handler) {
    static char buffer[READ_SIZE];
    constexpr int streams[] = {COMMAND_OUTPUT, COMMAND_ERRORS};
    const ssize_t got = ::read(pipes.ends[i].fd, buffer, READ_SIZE);
    if (got < 0 && errno == EINTR) return;
    const std::uint32_t count = got > 0 ? static_cast<std::uint32_t>(got) : 0;
    if (!handler(streams[i], buffer, count) || count == 0) close_pipe(pipes, i);
}

// Hands over what arrives on either pipe until both have ended and the
// command has ended too: a child of the command may hold the pipes longer.
// SIGCHLD comes in only while waiting, and the command is reaped then.
CommandEnd relay(pid_t command, Pipes& pipes, CommandOutputHandler handler, const sigset_t& wait_mask) {
    CommandEnd end{};
    bool ended = false;
    while (pipes.open > 0 || !ended) {
        if (::ppoll(pipes.ends, 2, nullptr, &wait_mask) < 0) {
            if (!ended) ended = reap(command, end);
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (pipes.ends[i].fd >= 0 && pipes.ends[i].revents != 0) take_from(pipes, i, handler);
        }
    }
    return end;
}

}  // namespace

CommandEnd run_command(const char* const* argv, CommandOutputHandler handler) {
    int output[2];
    int errors[2];
    if (::pipe2(output, O_CLOEXEC) != 0) return {COMMAND_NOT_STARTED, 0, std::strerror(errno)};
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(output[0]);
        ::close(output[1]);
        return {COMMAND_NOT_STARTED, 0, std::strerror(error)};
    }
    // The command's errors go on being passed after standard output's reader has gone.
    ::signal(SIGPIPE, SIG_IGN);
    const sigset_t mask = hold_command_signals();
    CommandEnd end{};
    const pid_t command = start_command(argv, output[1], errors[1], mask, end);
    ::close(output[1]);
    ::close(errors[1]);
    Pipes pipes{{{output[0], POLLIN, 0}, {errors[0], POLLIN, 0}}, 2};
    if (command != 0) {
        pass_signals_to(command);
        sigset_t wait_mask = mask;
        sigdelset(&wait_mask, SIGCHLD);
        end = relay(command, pipes, handler, wait_mask);
    }
    for (int i = 0; i < 2; ++i) {
        if (pipes.ends[i].fd >= 0) close_pipe(pipes, i);
    }
    release_command_signals(mask);
    return end;
}

}  // namespace keston::platform
