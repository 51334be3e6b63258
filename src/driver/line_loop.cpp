#include "driver/line_loop.h"

#include <cstdio>

#include "common/globals.h"
#include "stream/text_stream.h"
#include "transform/comments.h"
#include "transform/local_labels.h"
#include "transform/tab_compression.h"
#include "transform/tab_expansion.h"

namespace keston {

namespace {

// The transformations of one line in their fixed order; -1 when one failed.
std::int32_t transform_line() {
    g_line_toggle = 0;
    const std::uint32_t switches = g_switches;
    if ((switches & F_ASM_COMMENTS) != 0) strip_asm_comment();
    if ((switches & F_CPP_COMMENTS) != 0) strip_cpp_comment();
    // Tabs are always expanded before they are compressed, so -t re-tabs from columns.
    if ((switches & (F_EXPAND_TABS | F_COMPRESS_TABS)) != 0 && expand_tabs() < 0) return -1;
    if ((switches & F_LOCAL_LABELS) != 0 && process_local_labels() < 0) return -1;
    if ((switches & F_COMPRESS_TABS) != 0) compress_tabs();
    return 0;
}

// The CR LF goes into the spare bytes behind a line of full length.
std::int32_t write_line() {
    const std::uint32_t length = g_line_length;
    if ((g_switches & F_NO_EMPTY_LINES) != 0 && length == 0) return 0;
    char* const line = current_line();
    line[length] = '\r';
    line[length + 1] = '\n';
    if (write_bytes(g_output, length + 2, line) != 0) {
        std::printf("\n\r?KESTON-F-Output file write error\n\r");
        return -1;
    }
    return 0;
}

}  // namespace

void process_file() {
    g_label_count = 0;
    g_label_base = 0;
    g_label_names[0] = '\0';
    g_line_number = 1;
    while (read_line(g_line_a) >= 0) {
        if (transform_line() < 0 || write_line() < 0) return;
        ++g_line_number;
    }
}

}  // namespace keston
