#include "platform/posix/command_signals.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/command.h"
#include "platform/posix/write_signals.h"

namespace keston::platform {

namespace {

constexpr int EXIT_BY_SIGNAL = 128;

// The signals that end a process by default and that a user sends to ask a
// program to stop, reload or wake up: the command is the one to act on them.
constexpr int PASSED_SIGNALS[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM};

volatile sig_atomic_t g_command_pid = 0;
// Those of them that had their default action, and now have our handler.
sigset_t g_passing;
struct sigaction g_child_action_before;

sigset_t passed_signals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal_number : PASSED_SIGNALS) sigaddset(&signals, signal_number);
    return signals;
}

// The terminal sends its interrupt, quit and hangup to its whole foreground
// process group, the command included; a process that sends a signal is
// told apart by the code the kernel gives it.
bool sent_by_terminal(int signal_number, const siginfo_t* info) {
    return info->si_code == SI_KERNEL && (signal_number == SIGINT || signal_number == SIGQUIT || signal_number == SIGHUP);
}

// Runs in signal context. The command is reaped only while these signals are
// held back, so its process id is still its own here.
extern "C" void pass_signal_on(int signal_number, siginfo_t* info, void*) {
    if (!sent_by_terminal(signal_number, info)) ::kill(static_cast<pid_t>(g_command_pid), signal_number);
}

// Only interrupts the relay's wait, which then looks for the command's end.
extern "C" void note_child_ended(int) {}

bool has_default_action(int signal_number) {
    struct sigaction current {};
    return ::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

void set_mask(int how, const sigset_t& signals) {
    ::sigprocmask(how, &signals, nullptr);
}

// From what waitpid gave: got, the process id or -1, and its status.
CommandEnd how_it_ended(pid_t got, int status) {
    if (got < 0) return {COMMAND_NOT_STARTED, 0, std::strerror(errno)};
    if (WIFSIGNALED(status)) return {EXIT_BY_SIGNAL + WTERMSIG(status), WTERMSIG(status), nullptr};
    return {WEXITSTATUS(status), 0, nullptr};
}

}  // namespace

sigset_t hold_command_signals() {
    sigset_t held = passed_signals();
    sigaddset(&held, SIGCHLD);
    sigset_t before;
    ::sigprocmask(SIG_BLOCK, &held, &before);
    // Our own action, also where SIGCHLD was ignored, which would reap the command unseen.
    struct sigaction action {};
    action.sa_handler = note_child_ended;
    action.sa_flags = SA_NOCLDSTOP;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGCHLD, &action, &g_child_action_before);
    return before;
}

void give_command_signals(const sigset_t& mask) {
    ::sigaction(SIGCHLD, &g_child_action_before, nullptr);
    const sigset_t& defaults = write_signals_default_at_start();
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (sigismember(&defaults, signal_number) == 1) ::signal(signal_number, SIG_DFL);
    }
    set_mask(SIG_SETMASK, mask);
}

void pass_signals_to(pid_t command) {
    g_command_pid = command;
    struct sigaction action {};
    action.sa_sigaction = pass_signal_on;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigemptyset(&g_passing);
    for (const int signal_number : PASSED_SIGNALS) {
        if (!has_default_action(signal_number)) continue;  // ignored at start, for the command too
        sigaddset(&g_passing, signal_number);
        ::sigaction(signal_number, &action, nullptr);
    }
    set_mask(SIG_UNBLOCK, passed_signals());
}

bool reap(pid_t command, CommandEnd& end) {
    const sigset_t passed = passed_signals();
    set_mask(SIG_BLOCK, passed);
    int status = 0;
    pid_t got;
    while ((got = ::waitpid(command, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (got != 0) {
        end = how_it_ended(got, status);
        for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
            if (sigismember(&g_passing, signal_number) == 1) ::signal(signal_number, SIG_DFL);
        }
        g_command_pid = 0;
    }
    set_mask(SIG_UNBLOCK, passed);
    return got != 0;
}

void release_command_signals(const sigset_t& mask) {
    ::sigaction(SIGCHLD, &g_child_action_before, nullptr);
    set_mask(SIG_SETMASK, mask);
}

void end_by_signal(int signal_number) {
    // The command's core file, if any, is the one that matters.
    rlimit core {};
    if (::getrlimit(RLIMIT_CORE, &core) == 0) {
        core.rlim_cur = 0;
        ::setrlimit(RLIMIT_CORE, &core);
    }
    ::signal(signal_number, SIG_DFL);
    sigset_t signal;
    sigemptyset(&signal);
    sigaddset(&signal, signal_number);
    set_mask(SIG_UNBLOCK, signal);
    ::raise(signal_number);
    std::_Exit(EXIT_BY_SIGNAL + signal_number);  // a signal that does not end a process by default
}

}  // namespace keston::platform
