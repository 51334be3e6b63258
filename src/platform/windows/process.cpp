#include "platform/process.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/replacement.h"

namespace keston::platform {

namespace {

const char* g_interrupt_message = "";
volatile LONG g_interrupt_reported = 0;
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
    if (::InterlockedExchange(&g_interrupt_reported, 1) == 0) {
        std::printf("%s", g_interrupt_message);
        discard_replacement_on_interrupt();
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
    g_original_output_code_page = ::GetConsoleOutputCP();
    if (g_original_output_code_page != 0 && ::SetConsoleOutputCP(CP_UTF8) != 0) std::atexit(restore_output_code_page);
}

void install_interrupt_handler(const char* message) {
    g_interrupt_message = message;
    ::SetConsoleCtrlHandler(on_console_ctrl, TRUE);
}

void remove_interrupt_handler() {
    ::SetConsoleCtrlHandler(on_console_ctrl, FALSE);
}

// The console handler runs on a thread of its own and cannot be held back.
void hold_interrupts() {}
void release_interrupts() {}

}  // namespace keston::platform
