#include "driver/line_loop.h"

#include "common/globals.h"
#include "common/report.h"
#include "stream/text_stream.h"
#include "transform/chain.h"
#include "transform/local_labels.h"

namespace keston {

namespace {

// The CR LF goes into the spare bytes behind a line of full length.
std::int32_t write_line() {
    const std::uint32_t length = g_line_length;
    if ((g_switches & F_NO_EMPTY_LINES) != 0 && length == 0) return 0;
    char* const line = current_line();
    line[length] = '\r';
    line[length + 1] = '\n';
    if (write_bytes(g_output, length + 2, line) != 0) {
        report_write_error();
        return -1;
    }
    return 0;
}

}  // namespace

void process_file() {
    reset_label_state();
    g_line_number = 1;
    while (read_line(g_line_a) >= 0) {
        if (transform_line() < 0 || write_line() < 0) return;
        ++g_line_number;
    }
}

}  // namespace keston
