// Process-wide set-up that the platform needs before a run, and the console
// interrupt message.
#pragma once

namespace keston::platform {

// Makes sure the standard descriptors are open (so that no file we open takes
// their place) and that writing to a vanished reader or past a file-size limit
// is reported as a write error rather than ending the process.
void prepare_process();

// From now on an interrupt of the user prints message once and then ends the
// process the way the interrupt would have without us.
void install_interrupt_handler(const char* message);

void remove_interrupt_handler();

// Between these two an interrupt waits: it takes effect at the release, by
// whatever handler is in place then.
void hold_interrupts();
void release_interrupts();

}  // namespace keston::platform
