#include "check/file_check.h"

#include "check/comment_block.h"
#include "check/label_scopes.h"
#include "check/line_view.h"
#include "check/list_continuation.h"
#include "check/literal_check.h"
#include "check/name_clash.h"
#include "check/name_syntax.h"
#include "check/report.h"
#include "common/byte_scan.h"
#include "common/globals.h"
#include "common/report.h"
#include "driver/line_loop.h"
#include "stream/text_stream.h"
#include "transform/chain.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

char g_source_line[LINE_BUFFER_SIZE];
LineView g_source_view;

// Only a line with quotes or '<' may hold a literal, and only one with -l and
// a quote, '<' or the first character of the label prefix in it a label that
// -l renames: no other line is looked at closely.
struct LineMarks {
    bool literal;
    bool maybe_label;
};

bool is_literal_opener(char c) {
    return c == '\'' || c == '"' || c == '<';
}

LineMarks find_marks(const char* line, std::uint32_t length) {
    if ((g_switches & LINE_CHANGING_SWITCHES) == 0) return {false, false};
    const bool labels = (g_switches & F_LOCAL_LABELS) != 0;
    const char prefix = labels ? g_label_prefix[0] : '"';
    const auto at = static_cast<std::uint32_t>(scan_until(line, length, nullptr, '\'', '"', '<', prefix));
    if (at == length) return {false, false};
    if (is_literal_opener(line[at])) return {true, labels};
    const std::uint32_t rest = length - at - 1;
    return {scan_until(line + at + 1, rest, nullptr, '\'', '"', '<') != rest, true};
}

// The source line as read is in g_source_line; the chain's result is current.
void check_line(std::uint32_t source_length, const LineWords& words, const LineMarks& marks, const CommentCuts& cuts) {
    const std::uint32_t switches = g_switches;
    if ((switches & F_NO_EMPTY_LINES) != 0) check_dropped_line(current_line(), g_line_length);
    const char* const source = g_source_line;
    const bool cpp_comments = (switches & F_CPP_COMMENTS) != 0;
    const bool viewed = marks.literal || marks.maybe_label;
    if (marks.literal) {
        view_line(source, source_length, cpp_comments, &g_source_view);
    } else if (marks.maybe_label) {
        view_plain_line(source, source_length, cpp_comments, &g_source_view);
    }
    if ((switches & F_LOCAL_LABELS) != 0) {
        check_label_line(source, source_length, words, viewed ? &g_source_view : nullptr,
                         viewed ? cuts.cut : source_length);
    }
    if (marks.literal) check_literals(source, g_source_view, cuts, current_line(), g_line_length);
}

// The assembler reads nothing of a line in a comment block, so nothing there
// is reported; -l still opens scopes at such lines as at any other.
void pass_comment_line(std::uint32_t source_length) {
    if ((g_switches & F_NO_EMPTY_LINES) != 0) pass_comment_in_list();
    if ((g_switches & F_LOCAL_LABELS) != 0) follow_label_scope(g_source_line, source_length);
}

// As keston's line loop, with the source line kept before the chain changes it.
// 0 when every line was checked; at a line that keston stops at, -1, or
// TS_READ_FAILED when a read failed there: reading ends there as at the end
// of the input, but after a failure message.
int check_lines() {
    reset_label_state();
    start_label_scopes();
    start_list_check();
    start_comment_blocks();
    g_line_number = 1;
    g_failure_reported = false;
    std::int32_t read;
    while ((read = read_line(g_line_a)) >= 0) {
        const std::uint32_t length = g_line_length;
        copy_blocks(g_source_line, g_line_a, length + 1);
        const LineWords words = find_words(g_source_line, length);
        if (in_comment_block(g_source_line, length, words.first)) {
            if (transform_line() < 0) return -1;
            pass_comment_line(length);
            ++g_line_number;
            continue;
        }
        if (collects_made_labels()) note_include_line(g_source_line, length);
        // The chain runs in two parts, so that the check sees where the comment removers end the line.
        const std::uint32_t asm_cut = remove_comments();
        const CommentCuts cuts{asm_cut, g_line_length};
        const LineMarks marks = find_marks(g_source_line, length);
        // Of the result of a line without literals only its emptiness and, for -e, the bytes other than
        // blanks are read: compression is left out there, and so is expansion where it cannot matter.
        if (transform_uncommented_line(marks.literal) < 0) return -1;
        check_line(length, words, marks, cuts);
        ++g_line_number;
    }
    if (read == TS_READ_FAILED) return TS_READ_FAILED;
    if (g_failure_reported) return -1;
    finish_label_scopes();
    return 0;
}

}  // namespace

void check_file(const char* name, const char* read_name, std::uint32_t order) {
    report_begin_file(name, order);
    if (collects_made_labels()) begin_compared_source(name, order);
    g_input = open_input(read_name, source_read_size());
    if (g_input == nullptr) {
        report_unchecked(0, "cannot be opened for reading");
        return;
    }
    // keston's own message names the line; the note names the file as well.
    const int checked = check_lines();
    if (checked == TS_READ_FAILED) report_unchecked(g_line_number, "read error; the rest is not checked");
    if (checked == -1) report_unchecked(g_line_number, "keston stops at this line; the rest is not checked");
    report_undefined_uses();
    close_stream(g_input);
    g_input = nullptr;
}

}  // namespace keston::check
