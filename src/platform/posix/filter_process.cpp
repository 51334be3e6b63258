#include "platform/filter_process.h"

#include <signal.h>

#include "platform/process.h"

namespace keston::platform {

void prepare_filter_process() {
    struct sigaction at_start {};
    const bool pipe_signal_default = ::sigaction(SIGPIPE, nullptr, &at_start) == 0 && at_start.sa_handler == SIG_DFL;
    prepare_process();
    if (pipe_signal_default) ::signal(SIGPIPE, SIG_DFL);
}

}  // namespace keston::platform
