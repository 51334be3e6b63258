#include "platform/command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/write_signals.h"

extern char** environ;

namespace keston::platform {

namespace {

constexpr std::uint32_t READ_SIZE = 65536;
constexpr int EXIT_BY_SIGNAL = 128;

// The terminal sends these to the command as well: this process stays to pass
// on the rest of the command's output and its status.
constexpr int TERMINAL_SIGNALS[] = {SIGINT, SIGQUIT};
// Sent to this process alone, these go on to the command, which then ends.
constexpr int PASSED_SIGNALS[] = {SIGTERM, SIGHUP};

volatile sig_atomic_t g_command_pid = 0;

extern "C" void pass_signal_on(int signal_number) {
    ::kill(static_cast<pid_t>(g_command_pid), signal_number);
}

bool has_default_action(int signal_number) {
    struct sigaction current {};
    return ::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

// The terminal's signals are ignored here from now on; the command gets the
// default action back for those that had it, and for the write signals that
// had it at start. Ignored at start, they stay so.
sigset_t leave_terminal_signals_to_command() {
    sigset_t defaults = write_signals_default_at_start();
    for (const int signal_number : TERMINAL_SIGNALS) {
        if (!has_default_action(signal_number)) continue;
        sigaddset(&defaults, signal_number);
        ::signal(signal_number, SIG_IGN);
    }
    return defaults;
}

void pass_signals_on(pid_t command) {
    g_command_pid = command;
    struct sigaction action {};
    action.sa_handler = pass_signal_on;
    sigemptyset(&action.sa_mask);
    for (const int signal_number : PASSED_SIGNALS) {
        if (has_default_action(signal_number)) ::sigaction(signal_number, &action, nullptr);
    }
}

// The command with its standard output and standard error on the pipes'
// writing ends; the error number of a failed start, or 0.
int spawn(const char* const* argv, const int output[2], const int errors[2], pid_t* command) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
    ::posix_spawnattr_init(&attributes);
    const sigset_t defaults = leave_terminal_signals_to_command();
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const int error = ::posix_spawnp(command, argv[0], &actions, &attributes, const_cast<char* const*>(argv), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return error;
}

// Hands over what arrives on either pipe until both have ended.
void relay(int output, int errors, CommandOutputHandler handler) {
    static char buffer[READ_SIZE];
    pollfd pipes[] = {{output, POLLIN, 0}, {errors, POLLIN, 0}};
    const int streams[] = {COMMAND_OUTPUT, COMMAND_ERRORS};
    int open_pipes = 2;
    while (open_pipes > 0) {
        if (::poll(pipes, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (pipes[i].fd < 0 || pipes[i].revents == 0) continue;
            const ssize_t got = ::read(pipes[i].fd, buffer, READ_SIZE);
            if (got < 0 && errno == EINTR) continue;
            if (got > 0) {
                handler(streams[i], buffer, static_cast<std::uint32_t>(got));
                continue;
            }
            handler(streams[i], nullptr, 0);
            ::close(pipes[i].fd);
            pipes[i].fd = -1;
            --open_pipes;
        }
    }
    for (const pollfd& pipe : pipes) {
        if (pipe.fd >= 0) ::close(pipe.fd);
    }
}

int wait_for(pid_t command) {
    int status = 0;
    while (::waitpid(command, &status, 0) < 0) {
        if (errno != EINTR) return COMMAND_NOT_STARTED;
    }
    return WIFSIGNALED(status) ? EXIT_BY_SIGNAL + WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace

int run_command(const char* const* argv, CommandOutputHandler handler) {
    int output[2];
    int errors[2];
    if (::pipe2(output, O_CLOEXEC) != 0) return COMMAND_NOT_STARTED;
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        ::close(output[0]);
        ::close(output[1]);
        return COMMAND_NOT_STARTED;
    }
    pid_t command = 0;
    const int error = spawn(argv, output, errors, &command);
    ::close(output[1]);
    ::close(errors[1]);
    if (error != 0) {
        ::close(output[0]);
        ::close(errors[0]);
        return error == ENOENT ? COMMAND_NOT_FOUND : COMMAND_NOT_STARTED;
    }
    pass_signals_on(command);
    relay(output[0], errors[0], handler);
    return wait_for(command);
}

}  // namespace keston::platform
