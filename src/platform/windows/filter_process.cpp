#include "platform/filter_process.h"

#include <fcntl.h>
#include <io.h>

#include "platform/process.h"

namespace keston::platform {

// Windows has no signal for a reader that went away: the write fails.
void prepare_filter_process() {
    prepare_process();
    ::_setmode(0, _O_BINARY);
}

}  // namespace keston::platform
