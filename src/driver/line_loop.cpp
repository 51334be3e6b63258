#include "driver/line_loop.h"

#include <cstring>

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
    std::memcpy(line + length, "\r\n", 2);
    if (write_bytes(g_output, length + 2, line) != 0) {
        report_write_error();
        return -1;
    }
    return 0;
}

// The switches that change lines other than at their ends.
constexpr std::uint32_t LINE_CHANGING_SWITCHES =
    F_ASM_COMMENTS | F_CPP_COMMENTS | F_EXPAND_TABS | F_LOCAL_LABELS | F_COMPRESS_TABS | F_NO_EMPTY_LINES;

// CR LF with the room behind it that write_bytes reads.
constexpr char LINE_END[SCAN_SLACK] = {'\r', '\n'};

// Without those switches the lines that need nothing but a CR LF end go from
// the loaded source to the destination in runs, without the copy through the
// line buffer; the others take the usual way, one at a time. False after a
// failed write.
bool copy_unchanged_lines() {
    for (LineRun run; (run = take_line_run()).lines != 0;) {
        if (write_through_blocks(g_output, run.length, run.bytes) != 0 ||
            (run.bare_lf_end && write_bytes(g_output, 2, LINE_END) != 0)) {
            report_write_error();
            return false;
        }
        g_line_number += run.lines;
    }
    return true;
}

}  // namespace

std::uint32_t source_read_size() {
    return (g_switches & F_WHOLE_FILE) != 0 ? 0 : TS_BLOCK;
}

void process_file() {
    reset_label_state();
    g_line_number = 1;
    const bool copies = (g_switches & LINE_CHANGING_SWITCHES) == 0;
    while ((!copies || copy_unchanged_lines()) && read_line(g_line_a) >= 0) {
        if (transform_line() < 0 || write_line() < 0) return;
        ++g_line_number;
    }
}

int make_destination(const char* source, int fd) {
    g_failure_reported = false;
    g_run_stop = RunStop::NONE;
    g_output = open_output_descriptor(fd);
    if (g_output == nullptr) {
        report_write_error();
        return RUN_FAILED;
    }
    g_input = open_input(source, source_read_size());
    const bool opened = g_input != nullptr;
    if (opened) {
        process_file();
        close_stream(g_input);
        g_input = nullptr;
    }
    // Closing writes the buffered rest, and may fail.
    close_stream(g_output);
    g_output = nullptr;
    if (!opened) return SOURCE_NOT_OPENED;
    return g_failure_reported ? RUN_FAILED : MADE;
}

}  // namespace keston
