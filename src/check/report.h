// The report: one line "file:line:column: warning: text [hazard]" for every
// hazard, in the form that compilers use, and "file:line:column: note: text
// [hazard]" for what -x did, held until the end of the run and then written
// to the original standard output, file by file in line order; and the
// notes on what could not be checked, "file:line: error: text", printed to
// standard error at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace keston::check {

// Exit statuses, from the best to the worst; a run ends with the worst it met.
constexpr int CHECK_CLEAN = 0;
constexpr int CHECK_HAZARDS = 1;
constexpr int CHECK_INCOMPLETE = 2;  // a bad command line, or a file not read or not checked to its end

extern int g_check_status;

// The descriptor that the report goes to.
void set_report_output(int fd);

// The file that the lines from now on are about, and its place among the
// sources of the command line, which orders the report.
void report_begin_file(const char* name, std::uint32_t order);

// A label's number as -l writes it: at least four digits.
struct LabelNumber {
    std::uint64_t value;
};

// The held line being made: where its next piece goes and where its room
// ends. A line never needs all of its room; should it, it is cut there.
extern char* g_held_next;
extern const char* g_held_limit;

// The text that does not fit the room of the held line, cut there.
void append_cut_piece(std::string_view text);

// The pieces that a report line's text is put together from, one after the
// other: text as it stands and numbers in decimal. Text is copied where it
// is used, so that the copy of a fixed text comes down to a few moves.
[[gnu::always_inline]] inline void append_piece(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(g_held_limit - g_held_next)) {
        append_cut_piece(text);
        return;
    }
    std::memcpy(g_held_next, text.data(), text.size());
    g_held_next += text.size();
}
void append_piece(std::uint64_t number);
void append_piece(LabelNumber number);

// A held line of the current file, a warning or a note, begins at the given
// place, and its text is then put together; the name of its hazard ends it.
void begin_held_line(std::uint64_t line, std::uint32_t column, bool warning);
void end_held_line(std::string_view hazard);

// The exit status goes no lower than status.
void raise_status(int status);

// One hazard at the given source line and 1-based byte column of the current
// file, its text made of pieces; hazard is the short, stable name of its kind.
template <typename... Pieces>
void report_hazard(std::uint64_t line, std::uint32_t column, std::string_view hazard, const Pieces&... pieces) {
    begin_held_line(line, column, true);
    (append_piece(pieces), ...);
    end_held_line(hazard);
    raise_status(CHECK_HAZARDS);
}

// A hazard whose text is made only when the report is written, by make from
// the values kept for index: for the many lines whose text would take more
// memory to hold than the values it is made from.
using TextMaker = void (*)(std::uint32_t index);
void report_made_hazard(std::uint64_t line, std::uint32_t column, std::string_view hazard, TextMaker make,
                        std::uint32_t index);

// A note on a change that -x made or refused; it leaves the exit status as it is.
template <typename... Pieces>
void report_note(std::uint64_t line, std::uint32_t column, std::string_view hazard, const Pieces&... pieces) {
    begin_held_line(line, column, false);
    (append_piece(pieces), ...);
    end_held_line(hazard);
}

// Drops the held lines of the file at order: the notes of a rewrite that
// is not made.
void drop_held_lines(std::uint32_t order);

// Puts the held report lines into the report, sorted; the count of lines put.
std::size_t write_held_reports();

// From now on the report holds only the hazard named, as errors: for
// keston-map's build mode, which refuses to make files that clash.
void report_only(std::string_view hazard);

// Text for the report as it stands.
void report_text(const char* text);

// What could not be checked, on standard error, at line 0 where no line is
// to blame; the run then ends with CHECK_INCOMPLETE.
[[gnu::format(printf, 2, 3)]] void report_unchecked(std::uint64_t line, const char* format, ...);

// Writes what the buffer holds. 0, or 1 when the report could not be written.
int flush_report();

// The switches among mask's flag bits as given on the command line, such as
// "-s and -t"; stays valid until the next call.
std::string_view switch_names(std::uint32_t mask);

}  // namespace keston::check
