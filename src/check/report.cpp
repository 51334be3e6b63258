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

#include "common/decimal.h"
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

// "-a", "-c", "-s", "-t" and "-l" with its prefix, in the order of the chain.
constexpr std::uint32_t NAMED_SWITCHES[] = {F_ASM_COMMENTS, F_CPP_COMMENTS, F_EXPAND_TABS, F_COMPRESS_TABS,
                                            F_LOCAL_LABELS};
constexpr char SWITCH_LETTERS[] = "acstl";
constexpr std::size_t SWITCH_KINDS = sizeof NAMED_SWITCHES / sizeof NAMED_SWITCHES[0];
constexpr std::size_t NAME_SPACE = 10;  // ", " or " and ", then "-l" with its prefix
// The names of the last mask asked for: most reports name the same switches.
char g_switch_names[SWITCH_KINDS * NAME_SPACE];
std::size_t g_switch_names_length = 0;
std::uint32_t g_named_mask = ~0u;

// Report lines wait until the end of the run, when each file's lines are
// written in the order of their places: a file's last scope may tell where a
// name of its first one is defined, and a later file may clash with it. A
// line is held as little as it can be: its place, its kind and hazard, and
// the text between them, or what makes that text.
struct HeldLine {
    std::uint32_t file;  // the file's place on the command line
    std::uint32_t column;
    std::uint64_t line;
    const char* text;      // null for a text made when the line is written
    std::uint32_t length;  // of the text, or the index that makes it
    std::uint8_t hazard;   // in g_hazards
    bool warning;          // else a note
};
std::vector<HeldLine> g_held;
std::uint32_t g_file_order = 0;
// The name of each file, by its place on the command line.
std::vector<const char*> g_file_names;

// The few hazards there are, each with what makes its text where a line of
// it holds no text.
struct Hazard {
    std::string_view name;
    TextMaker make;
};
std::vector<Hazard> g_hazards;
std::size_t g_last_hazard = 0;
// The only hazard reported, when not empty.
std::string_view g_only_hazard;

// Most lines are of the hazard of the line before, named by the same text.
std::uint8_t hazard_index(std::string_view name, TextMaker make) {
    if (g_last_hazard < g_hazards.size()) {
        const Hazard& last = g_hazards[g_last_hazard];
        if (last.name.data() == name.data() && last.name.size() == name.size() && last.make == make) {
            return static_cast<std::uint8_t>(g_last_hazard);
        }
    }
    std::size_t i = 0;
    while (i < g_hazards.size() && (g_hazards[i].name != name || g_hazards[i].make != make)) ++i;
    if (i == g_hazards.size()) g_hazards.push_back({name, make});
    g_last_hazard = i;
    return static_cast<std::uint8_t>(i);
}

// The texts of the held lines lie in blocks that are never moved.
constexpr std::size_t HELD_BLOCK_SIZE = 1u << 20;
std::vector<std::unique_ptr<char[]>> g_held_blocks;
std::size_t g_held_block_used = HELD_BLOCK_SIZE;

bool comes_before(const HeldLine& a, const HeldLine& b) {
    return std::tie(a.file, a.line, a.column) < std::tie(b.file, b.line, b.column);
}

// The held lines come in a few runs that are in order already: the lines of
// a file as they are checked, the names of each scope at its end, the names
// that a file leaves undefined at its end. Merging neighbouring runs, which
// keeps lines of the same place in the order they came in, costs far less
// than sorting them all.
void sort_held_lines() {
    std::vector<std::size_t> run_starts{0};
    for (std::size_t i = 1; i < g_held.size(); ++i) {
        if (comes_before(g_held[i], g_held[i - 1])) run_starts.push_back(i);
    }
    run_starts.push_back(g_held.size());
    const auto at = [](std::size_t index) { return g_held.begin() + static_cast<std::ptrdiff_t>(index); };
    while (run_starts.size() > 2) {
        const std::size_t runs = run_starts.size() - 1;
        std::vector<std::size_t> merged{0};
        for (std::size_t run = 0; run + 1 < runs; run += 2) {
            std::inplace_merge(at(run_starts[run]), at(run_starts[run + 1]), at(run_starts[run + 2]), comes_before);
            merged.push_back(run_starts[run + 2]);
        }
        if (runs % 2 != 0) merged.push_back(run_starts[runs]);
        run_starts = std::move(merged);
    }
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

// The digits are written where they go once their count is known.
void append_decimal(std::uint64_t number, std::size_t least_digits) {
    const std::size_t count = decimal_digits(number, least_digits);
    if (count <= static_cast<std::size_t>(g_held_limit - g_held_next)) {
        g_held_next += count;
        write_digits(g_held_next, number, count);
        return;
    }
    char digits[MOST_DECIMAL_DIGITS];
    write_digits(digits + count, number, count);
    append_cut_piece(std::string_view(digits, count));
}

}  // namespace

char* g_held_next = nullptr;
const char* g_held_limit = nullptr;

void raise_status(int status) {
    g_check_status = std::max(g_check_status, status);
}

void append_cut_piece(std::string_view text) {
    const auto room = static_cast<std::size_t>(g_held_limit - g_held_next);
    std::memcpy(g_held_next, text.data(), std::min(text.size(), room));
    g_held_next += std::min(text.size(), room);
}

void append_piece(std::uint64_t number) {
    append_decimal(number, 1);
}

void append_piece(LabelNumber number) {
    append_decimal(number.value, 4);
}

void begin_held_line(std::uint64_t line, std::uint32_t column, bool warning) {
    if (HELD_BLOCK_SIZE - g_held_block_used < LONGEST_REPORT_LINE) {
        g_held_blocks.emplace_back(new char[HELD_BLOCK_SIZE]);
        g_held_block_used = 0;
    }
    char* const text = g_held_blocks.back().get() + g_held_block_used;
    g_held_next = text;
    g_held_limit = text + LONGEST_REPORT_LINE - 1;
    g_held.push_back({g_file_order, column, line, text, 0, 0, warning});
}

void end_held_line(std::string_view hazard) {
    HeldLine& held = g_held.back();
    held.length = static_cast<std::uint32_t>(g_held_next - held.text);
    held.hazard = hazard_index(hazard, nullptr);
    g_held_block_used += held.length;
}

void report_made_hazard(std::uint64_t line, std::uint32_t column, std::string_view hazard, TextMaker make,
                        std::uint32_t index) {
    g_held.push_back({g_file_order, column, line, nullptr, index, hazard_index(hazard, make), true});
    raise_status(CHECK_HAZARDS);
}

void set_report_output(int fd) {
    g_report_fd = fd;
}

void report_begin_file(const char* name, std::uint32_t order) {
    g_file_order = order;
    if (g_file_names.size() <= order) g_file_names.resize(order + 1);
    g_file_names[order] = name;
}

void report_only(std::string_view hazard) {
    g_only_hazard = hazard;
}

void drop_held_lines(std::uint32_t order) {
    std::erase_if(g_held, [order](const HeldLine& held) { return held.file == order; });
}

// "file:line:column: kind: text [hazard]", put together in the report.
std::size_t write_held_reports() {
    sort_held_lines();
    std::size_t written = 0;
    for (const HeldLine& held : g_held) {
        const Hazard& hazard = g_hazards[held.hazard];
        if (!g_only_hazard.empty() && hazard.name != g_only_hazard) continue;
        ++written;
        begin_report_line();
        g_held_next = g_report + g_report_used;
        g_held_limit = g_held_next + LONGEST_REPORT_LINE - 1;
        append_piece(g_file_names[held.file]);
        append_piece(":");
        append_piece(held.line);
        append_piece(":");
        append_piece(held.column);
        append_piece(!held.warning ? ": note: " : g_only_hazard.empty() ? ": warning: " : ": error: ");
        if (held.text != nullptr) {
            append_piece(std::string_view(held.text, held.length));
        } else {
            hazard.make(held.length);
        }
        append_piece(" [");
        append_piece(hazard.name);
        append_piece("]\n");
        g_report_used = static_cast<std::size_t>(g_held_next - g_report);
    }
    g_held.clear();
    g_held_blocks.clear();
    g_held_block_used = HELD_BLOCK_SIZE;
    return written;
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
    std::printf("%s:%" PRIu64 ": error: ", g_file_names[g_file_order], line);
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

std::string_view switch_names(std::uint32_t mask) {
    if (mask == g_named_mask) return {g_switch_names, g_switch_names_length};
    std::size_t count = 0;
    for (const std::uint32_t flag : NAMED_SWITCHES) count += (mask & flag) != 0 ? 1 : 0;
    std::size_t length = 0;
    std::size_t named = 0;
    for (std::size_t i = 0; i < SWITCH_KINDS; ++i) {
        if ((mask & NAMED_SWITCHES[i]) == 0) continue;
        ++named;
        const std::string_view separator = named == 1 ? "" : named == count ? " and " : ", ";
        const std::string_view prefix(g_label_prefix, NAMED_SWITCHES[i] == F_LOCAL_LABELS ? 2 : 0);
        separator.copy(g_switch_names + length, separator.size());
        length += separator.size();
        g_switch_names[length++] = '-';
        g_switch_names[length++] = SWITCH_LETTERS[i];
        prefix.copy(g_switch_names + length, prefix.size());
        length += prefix.size();
    }
    g_named_mask = mask;
    g_switch_names_length = length;
    return {g_switch_names, length};
}

}  // namespace keston::check
