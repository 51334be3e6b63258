#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/write_signals.h"
#include "platform/replacement.h"
#include "platform/staged_file.h"

namespace keston::platform {

namespace {

// The signals whose default action ends the process: each one removes an
// unfinished replacement file on its way; the first four are the user's
// interrupts, which print the message too. SIGPIPE and SIGXFSZ are ignored
// (see write_signals.h); a filter ends by SIGPIPE when its reader goes away.
constexpr int INTERRUPT_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int OTHER_ENDING_SIGNALS[] = {
    SIGALRM,   SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF, SIGPOLL, SIGPIPE,
    SIGSYS,    SIGTRAP, SIGABRT, SIGBUS,  SIGFPE,    SIGILL,  SIGSEGV,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

constexpr int WRITE_SIGNALS[] = {SIGPIPE, SIGXFSZ};
sigset_t g_write_signals_default_at_start;

const char* g_interrupt_message = nullptr;
std::size_t g_interrupt_length = 0;
volatile sig_atomic_t g_interrupt_reported = 0;
// The signals whose handler is ours: those that were not ignored at start.
sigset_t g_handled_signals;
// The mask that was in place before hold_interrupts, which the release puts back.
sigset_t g_mask_before_hold;

bool is_interrupt(int signal_number) {
    for (const int interrupt : INTERRUPT_SIGNALS) {
        if (interrupt == signal_number) return true;
    }
    return false;
}

// Runs in signal context: only async-signal-safe calls. An interrupt's
// message goes out once, whichever signals arrive, and an unfinished
// replacement file and every staged file are removed; then the signal's default action ends the
// process, so the unwritten rest of the output buffer is dropped.
extern "C" void on_ending_signal(int signal_number) {
    if (is_interrupt(signal_number) && g_interrupt_reported == 0) {
        g_interrupt_reported = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(STDOUT_FILENO, g_interrupt_message, g_interrupt_length);
    }
    discard_replacement_on_interrupt();
    discard_staged_on_interrupt();
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

// Under nohup or a script's trap '' a signal arrives ignored, and stays so.
bool inherited_as_default(int signal_number) {
    struct sigaction current {};
    return ::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

sigset_t ending_signals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal_number : INTERRUPT_SIGNALS) sigaddset(&signals, signal_number);
    for (const int signal_number : OTHER_ENDING_SIGNALS) sigaddset(&signals, signal_number);
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) sigaddset(&signals, signal_number);
    return signals;
}

void ensure_open(int fd) {
    if (::fcntl(fd, F_GETFD) >= 0) return;
    const int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd >= 0 && null_fd != fd) ::close(null_fd);
}

}  // namespace

void prepare_process() {
    // Opened in ascending order, each /dev/null lands on the lowest free descriptor.
    ensure_open(STDIN_FILENO);
    ensure_open(STDOUT_FILENO);
    ensure_open(STDERR_FILENO);
    sigemptyset(&g_write_signals_default_at_start);
    for (const int signal_number : WRITE_SIGNALS) {
        if (inherited_as_default(signal_number)) sigaddset(&g_write_signals_default_at_start, signal_number);
        ::signal(signal_number, SIG_IGN);
    }
}

const sigset_t& write_signals_default_at_start() {
    return g_write_signals_default_at_start;
}

void install_interrupt_handler(const char* message) {
    g_interrupt_message = message;
    g_interrupt_length = std::strlen(message);
    struct sigaction action {};
    action.sa_handler = on_ending_signal;
    action.sa_mask = ending_signals();
    sigemptyset(&g_handled_signals);
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (sigismember(&action.sa_mask, signal_number) != 1 || !inherited_as_default(signal_number)) continue;
        sigaddset(&g_handled_signals, signal_number);
        ::sigaction(signal_number, &action, nullptr);
    }
}

void hold_interrupts() {
    const sigset_t signals = ending_signals();
    ::sigprocmask(SIG_BLOCK, &signals, &g_mask_before_hold);
}

void release_interrupts() {
    ::sigprocmask(SIG_SETMASK, &g_mask_before_hold, nullptr);
}

void remove_interrupt_handler() {
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
        if (sigismember(&g_handled_signals, signal_number) == 1) ::signal(signal_number, SIG_DFL);
    }
}

}  // namespace keston::platform
