#include "check/check_command_line.h"

#include <cstdio>
#include <string>
#include <vector>

#include "check/report.h"
#include "cmdline/command_line.h"
#include "cmdline/switch_table.h"
#include "common/globals.h"

namespace keston::check {

namespace {

constexpr char CHECK_USAGE[] =
    "Usage: keston-check [{/|-}<switch> [...]] <src_name> [...]\n"
    "Runs each source through keston's chain, writes no file but with -x, and prints\n"
    "file:line:column: warning: text [hazard] for every place where the result\n"
    "would mean something else to the assembler than the source does.\n"
    "Switches: as for keston (-lxx -t[n] -s[n] -a -c -e -f -q -#), and\n"
    "   -x      - with -l, first rewrite each source in place: local names that\n"
    "             begin with a digit or '~' get a letter behind the prefix, and\n"
    "             names that differ only in case take one spelling per scope\n"
    "   -?      - display this help message\n"
    "Exit status: 0 nothing found, 1 something found, 2 a bad command line or\n"
    "a source that could not be read, rewritten or checked to its end.\n";

bool g_fixes_names = false;

// -x, which keston does not have.
bool is_fix_switch(const char* argument) {
    return is_switch(argument) && (argument[1] == 'x' || argument[1] == 'X') && argument[2] == '\0';
}

// A source counts as the input file of keston, so that -? refuses it as keston does.
int count_source(const char*) {
    g_switches |= F_INPUT_NAMED;
    return 0;
}

}  // namespace

int parse_check_command_line(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (!is_fix_switch(argv[i])) {
            if (scan_argument(argv[i], count_source) != 0) return 1;
        } else if (g_fixes_names) {
            std::printf("\n\r?KESTON-F-Multiple switch specification\n\r");
            return 1;
        } else {
            g_fixes_names = true;
        }
    }
    if (check_switch_values() != 0) return 1;
    return check_switch_combinations();
}

bool fixes_names() {
    return g_fixes_names;
}

std::vector<std::string> name_sources(int argc, const char* const* argv) {
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        if (is_switch(argv[i])) continue;
        char name[FILE_NAME_SIZE];
        report_begin_file(argv[i], static_cast<std::uint32_t>(names.size()));
        const bool named = apply_default_extension(argv[i], name) == 0;
        if (!named) report_unchecked(0, "not checked");
        names.emplace_back(named ? name : "");
    }
    return names;
}

bool names_a_source() {
    return (g_switches & F_INPUT_NAMED) != 0;
}

void print_check_usage(bool to_report) {
    if (to_report) {
        report_text(CHECK_USAGE);
    } else {
        std::printf("%s", CHECK_USAGE);
    }
}

}  // namespace keston::check
