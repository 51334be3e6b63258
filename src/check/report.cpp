#include "check/report.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "common/globals.h"
#include "platform/file_io.h"
#include "transform/local_labels.h"

namespace keston::check {

int g_check_status = CHECK_CLEAN;

namespace {

constexpr std::size_t REPORT_BUFFER_SIZE = 65536;
// Room for the longest line: a file name, a line number, a literal as long
// as a whole source line and the words around it.
constexpr std::size_t LONGEST_REPORT_LINE = 4096;

char g_report[REPORT_BUFFER_SIZE];
std::size_t g_report_used = 0;
int g_report_fd = -1;
bool g_report_failed = false;
const char* g_file_name = "";

// "-a", "-c", "-s", "-t" and "-l" with its prefix, in the order of the chain.
constexpr std::uint32_t NAMED_SWITCHES[] = {F_ASM_COMMENTS, F_CPP_COMMENTS, F_EXPAND_TABS, F_COMPRESS_TABS,
                                            F_LOCAL_LABELS};
constexpr char SWITCH_LETTERS[] = "acstl";
constexpr std::size_t SWITCH_KINDS = sizeof NAMED_SWITCHES / sizeof NAMED_SWITCHES[0];
constexpr std::size_t NAME_SPACE = 10;  // ", " or " and ", then "-l" with its prefix
char g_switch_names[SWITCH_KINDS * NAME_SPACE + 1] = "";

// Report lines wait until the end of the run, when each file's lines are
// written in the order of their places: a file's last scope may tell where a
// name of its first one is defined, and a later file may clash with it.
struct HeldLine {
    std::uint32_t file;  // the file's place on the command line
    std::uint32_t column;
    std::uint64_t line;
    const char* text;
    std::size_t length;
};
std::vector<HeldLine> g_held;
std::uint32_t g_file_order = 0;

// The texts of the held lines lie in blocks that are never moved.
constexpr std::size_t HELD_BLOCK_SIZE = 1u << 20;
std::vector<std::unique_ptr<char[]>> g_held_blocks;
std::size_t g_held_block_used = HELD_BLOCK_SIZE;

void raise_status(int status) {
    g_check_status = std::max(g_check_status, status);
}

// Every report line fits the room that begin_report_line leaves.
void begin_report_line() {
    if (REPORT_BUFFER_SIZE - g_report_used < LONGEST_REPORT_LINE) flush_report();
}

void append_text(const char* text, std::size_t length) {
    length = std::min(length, REPORT_BUFFER_SIZE - g_report_used);
    std::memcpy(g_report + g_report_used, text, length);
    g_report_used += length;
}

// The line being formatted, at the end of the last block.
char* g_line_text = nullptr;
std::size_t g_line_length = 0;

[[gnu::format(printf, 1, 0)]] void append_formatted(const char* format, va_list arguments) {
    const std::size_t room = LONGEST_REPORT_LINE - g_line_length;
    const int written = std::vsnprintf(g_line_text + g_line_length, room, format, arguments);
    if (written > 0) g_line_length += std::min(static_cast<std::size_t>(written), room - 1);
}

[[gnu::format(printf, 1, 2)]] void append_printf(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    append_formatted(format, arguments);
    va_end(arguments);
}

// "file:line:column: kind: text [hazard]", held for the end of the run.
[[gnu::format(printf, 5, 0)]] void hold_line(std::uint64_t line, std::uint32_t column, const char* kind,
                                             const char* hazard, const char* format, va_list arguments) {
    if (HELD_BLOCK_SIZE - g_held_block_used < LONGEST_REPORT_LINE) {
        g_held_blocks.emplace_back(new char[HELD_BLOCK_SIZE]);
        g_held_block_used = 0;
    }
    g_line_text = g_held_blocks.back().get() + g_held_block_used;
    g_line_length = 0;
    append_printf("%s:%" PRIu64 ":%" PRIu32 ": %s: ", g_file_name, line, column, kind);
    append_formatted(format, arguments);
    append_printf(" [%s]\n", hazard);
    g_held.push_back({g_file_order, column, line, g_line_text, g_line_length});
    g_held_block_used += g_line_length;
}

}  // namespace

void set_report_output(int fd) {
    g_report_fd = fd;
}

void report_begin_file(const char* name, std::uint32_t order) {
    g_file_name = name;
    g_file_order = order;
}

void report_hazard(std::uint64_t line, std::uint32_t column, const char* hazard, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    hold_line(line, column, "warning", hazard, format, arguments);
    va_end(arguments);
    raise_status(CHECK_HAZARDS);
}

void report_note(std::uint64_t line, std::uint32_t column, const char* hazard, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    hold_line(line, column, "note", hazard, format, arguments);
    va_end(arguments);
}

void write_held_reports() {
    std::stable_sort(g_held.begin(), g_held.end(), [](const HeldLine& a, const HeldLine& b) {
        return std::tie(a.file, a.line, a.column) < std::tie(b.file, b.line, b.column);
    });
    for (const HeldLine& held : g_held) {
        begin_report_line();
        append_text(held.text, held.length);
    }
    g_held.clear();
    g_held_blocks.clear();
    g_held_block_used = HELD_BLOCK_SIZE;
}

void report_text(const char* text) {
    for (std::size_t length = std::strlen(text); length != 0;) {
        begin_report_line();
        const std::size_t piece = std::min(length, LONGEST_REPORT_LINE);
        append_text(text, piece);
        text += piece;
        length -= piece;
    }
}

void report_unchecked(std::uint64_t line, const char* format, ...) {
    std::printf("%s:%" PRIu64 ": error: ", g_file_name, line);
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::printf("\n");
    raise_status(CHECK_INCOMPLETE);
}

int flush_report() {
    if (g_report_used != 0 && platform::write_bytes(g_report_fd, g_report, static_cast<std::uint32_t>(g_report_used)) !=
                                  static_cast<std::int32_t>(g_report_used)) {
        g_report_failed = true;
    }
    g_report_used = 0;
    return g_report_failed ? 1 : 0;
}

const char* switch_names(std::uint32_t mask) {
    std::size_t count = 0;
    for (const std::uint32_t flag : NAMED_SWITCHES) count += (mask & flag) != 0 ? 1 : 0;
    char* out = g_switch_names;
    *out = '\0';
    const char* const end = g_switch_names + sizeof g_switch_names;
    std::size_t named = 0;
    for (std::size_t i = 0; i < SWITCH_KINDS; ++i) {
        if ((mask & NAMED_SWITCHES[i]) == 0) continue;
        ++named;
        const char* separator = named == 1 ? "" : named == count ? " and " : ", ";
        const int prefix_length = NAMED_SWITCHES[i] == F_LOCAL_LABELS ? 2 : 0;
        out += std::snprintf(out, static_cast<std::size_t>(end - out), "%s-%c%.*s", separator, SWITCH_LETTERS[i],
                             prefix_length, g_label_prefix);
    }
    return g_switch_names;
}

}  // namespace keston::check
