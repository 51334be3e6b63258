#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform/replacement.h"

namespace keston::platform {

namespace {

constexpr int INTERRUPT_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

const char* g_interrupt_message = nullptr;
std::size_t g_interrupt_length = 0;
volatile sig_atomic_t g_interrupt_reported = 0;
// The signals whose handler is ours: those that were not ignored at start.
sigset_t g_handled_signals;

// Runs in signal context: only async-signal-safe calls. The message goes out
// once, whichever signals arrive, and an unfinished replacement file is
// removed; then the signal's default action ends the process, so the
// unwritten rest of the output buffer is dropped.
extern "C" void on_interrupt_signal(int signal_number) {
    if (g_interrupt_reported == 0) {
        g_interrupt_reported = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(STDOUT_FILENO, g_interrupt_message, g_interrupt_length);
        discard_replacement_on_interrupt();
    }
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

// Under nohup or a script's trap '' a signal arrives ignored, and stays so.
bool inherited_as_default(int signal_number) {
    struct sigaction current {};
    return ::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_DFL;
}

sigset_t interrupt_signals() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int signal_number : INTERRUPT_SIGNALS) sigaddset(&signals, signal_number);
    return signals;
}

void mask_interrupts(int how) {
    const sigset_t signals = interrupt_signals();
    ::sigprocmask(how, &signals, nullptr);
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
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

void install_interrupt_handler(const char* message) {
    g_interrupt_message = message;
    g_interrupt_length = std::strlen(message);
    struct sigaction action {};
    action.sa_handler = on_interrupt_signal;
    action.sa_mask = interrupt_signals();
    sigemptyset(&g_handled_signals);
    for (const int signal_number : INTERRUPT_SIGNALS) {
        if (!inherited_as_default(signal_number)) continue;
        sigaddset(&g_handled_signals, signal_number);
        ::sigaction(signal_number, &action, nullptr);
    }
}

void hold_interrupts() {
    mask_interrupts(SIG_BLOCK);
}

void release_interrupts() {
    mask_interrupts(SIG_UNBLOCK);
}

void remove_interrupt_handler() {
    for (const int signal_number : INTERRUPT_SIGNALS) {
        if (sigismember(&g_handled_signals, signal_number) == 1) ::signal(signal_number, SIG_DFL);
    }
}

}  // namespace keston::platform
