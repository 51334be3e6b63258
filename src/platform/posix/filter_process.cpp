#include "platform/filter_process.h"

#include <signal.h>

#include "platform/posix/write_signals.h"
#include "platform/process.h"

namespace keston::platform {

void prepare_filter_process() {
    prepare_process();
    if (sigismember(&write_signals_default_at_start(), SIGPIPE) == 1) ::signal(SIGPIPE, SIG_DFL);
}

}  // namespace keston::platform
