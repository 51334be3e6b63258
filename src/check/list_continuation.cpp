#include "check/list_continuation.h"

#include "check/line_view.h"
#include "check/report.h"
#include "common/byte_scan.h"
#include "common/globals.h"

namespace keston::check {

namespace {

// The last line written, kept until the next one is known.
char g_written[LINE_BUFFER_SIZE];
std::uint32_t g_written_length = 0;
std::uint64_t g_written_number = 0;
bool g_follows_written = false;
// The dropped line that ended a list, 0 while there is none; reported once a
// line with code joins the list.
std::uint64_t g_dropped_number = 0;
LineView g_written_view;

// The code part with the blanks before its end dropped. -c has already cut a
// written line at its first "//".
std::uint32_t code_length(const char* line, std::uint32_t length) {
    view_line(line, length, false, &g_written_view);
    std::uint32_t end = g_written_view.code_end;
    while (end > 0 && is_blank(line[end - 1])) --end;
    return end;
}

bool code_ends_in_comma(const char* line, std::uint32_t length) {
    const std::uint32_t end = code_length(line, length);
    return end > 0 && line[end - 1] == ',';
}

}  // namespace

void start_list_check() {
    g_follows_written = false;
    g_dropped_number = 0;
}

// The written line is looked at only when an empty one follows it.
void check_dropped_line(const char* result, std::uint32_t length) {
    if (length == 0) {
        if (g_follows_written && code_ends_in_comma(g_written, g_written_length)) g_dropped_number = g_line_number;
        g_follows_written = false;
        return;
    }
    if (g_dropped_number != 0 && code_length(result, length) != 0) {
        report_hazard(g_dropped_number, 1, "dropped-line", "-e drops this empty line, which ends the list that line ",
                      g_written_number, " continues with a comma");
    }
    g_dropped_number = 0;
    copy_blocks(g_written, result, length + 1);
    g_written_length = length;
    g_written_number = g_line_number;
    g_follows_written = true;
}

void pass_comment_in_list() {
    g_dropped_number = 0;
    g_follows_written = false;
}

}  // namespace keston::check
