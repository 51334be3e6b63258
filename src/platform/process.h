// Process-wide set-up that the platform needs before a run, and the console
// interrupt message.
#pragma once

namespace keston::platform {

// Makes sure the standard descriptors are open (so that no file we open takes
// their place) and that writing to a vanished reader or past a file-size limit
// is reported as a write error rather than ending the process.
void prepare_process();

// From now on an interrupt of the user prints message once and then ends the
// process the way the interrupt would have without us; every other signal
// that ends the process does so too, without the message. On the way out an
// unfinished replacement file is removed. Signals ignored at start stay so.
void install_interrupt_handler(const char* message);

void remove_interrupt_handler();

// Between these two an interrupt, or any signal that would end the process,
// waits: it takes effect at the release, by whatever handler is in place
// then. The release puts back the signal mask that was there before the hold,
// so that a signal the caller blocked stays blocked.
void hold_interrupts();
void release_interrupts();

}  // namespace keston::platform
