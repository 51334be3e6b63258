#include "platform/process.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/replacement.h"
#include "platform/staged_file.h"

namespace keston::platform {

namespace {

const char* g_interrupt_message = "";
// Cleared when the run no longer wants the message. The handler itself stays
// registered: removing it would wait for a running handler, which may be
// waiting for the run to release interrupts.
volatile LONG g_interrupt_wanted = 0;
// Held between hold_interrupts and release_interrupts. The console handler
// takes it and never gives it back: the process is ending, and nothing may
// be committed after the message.
CRITICAL_SECTION g_interrupt_lock;
// The console's output code page before the run; 0 without a console.
UINT g_original_output_code_page = 0;

void restore_output_code_page() {
    if (g_original_output_code_page != 0) ::SetConsoleOutputCP(g_original_output_code_page);
}

// Called by the system on a thread of its own for Ctrl+C, Ctrl+Break and the
// closing of the console. It prints the message once, removes an unfinished
// replacement file and declines the event, so that the default handler ends
// the process.
BOOL WINAPI on_console_ctrl(DWORD) {
    ::EnterCriticalSection(&g_interrupt_lock);
    if (::InterlockedExchange(&g_interrupt_wanted, 0) != 0) {
        std::printf("%s", g_interrupt_message);
        discard_replacement_on_interrupt();
        discard_staged_on_interrupt();
    }
    restore_output_code_page();
    return FALSE;
}

}  // namespace

// Messages are written byte for byte as they stand, without the runtime's
// translation of LF into CR LF. Names are UTF-8 (the manifest sets the code
// page), and so is the console's output for the run.
void prepare_process() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::InitializeCriticalSection(&g_interrupt_lock);
    g_original_output_code_page = ::GetConsoleOutputCP();
    if (g_original_output_code_page != 0 && ::SetConsoleOutputCP(CP_UTF8) != 0) std::atexit(restore_output_code_page);
}

void install_interrupt_handler(const char* message) {
    g_interrupt_message = message;
    ::InterlockedExchange(&g_interrupt_wanted, 1);
    ::SetConsoleCtrlHandler(on_console_ctrl, TRUE);
}

void remove_interrupt_handler() {
    ::InterlockedExchange(&g_interrupt_wanted, 0);
}

void hold_interrupts() {
    ::EnterCriticalSection(&g_interrupt_lock);
}

void release_interrupts() {
    ::LeaveCriticalSection(&g_interrupt_lock);
}

}  // namespace keston::platform
