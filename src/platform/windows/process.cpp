#include "platform/process.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/replacement.h"

namespace keston::platform {

namespace {

const char* g_interrupt_message = "";
volatile LONG g_interrupt_reported = 0;

// Called by the system on a thread of its own for Ctrl+C, Ctrl+Break and the
// closing of the console. It prints the message once, removes an unfinished
// replacement file and declines the event, so that the default handler ends
// the process.
BOOL WINAPI on_console_ctrl(DWORD) {
    if (::InterlockedExchange(&g_interrupt_reported, 1) == 0) {
        std::printf("%s", g_interrupt_message);
        discard_replacement_on_interrupt();
    }
    return FALSE;
}

}  // namespace

// Messages are written byte for byte as they stand, without the runtime's
// translation of LF into CR LF.
void prepare_process() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
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
