#include "check/check_command_line.h"

#include <cstdio>

#include "check/report.h"
#include "cmdline/command_line.h"
#include "cmdline/switch_table.h"
#include "common/globals.h"

namespace keston::check {

namespace {

constexpr char CHECK_USAGE[] =
    "Usage: keston-check [{/|-}<switch> [...]] <src_name> [...]\n"
    "Runs each source through keston's chain, writes no file and prints\n"
    "file:line:column: warning: text [hazard] for every place where the result\n"
    "would mean something else to the assembler than the source does.\n"
    "Switches: as for keston (-lxx -t[n] -s[n] -a -c -e -f -q -#), and\n"
    "   -?      - display this help message\n"
    "Exit status: 0 nothing found, 1 something found, 2 a bad command line or\n"
    "a source that could not be read or checked to its end.\n";

// A source counts as the input file of keston, so that -? refuses it as keston does.
int count_source(const char*) {
    g_switches |= F_INPUT_NAMED;
    return 0;
}

}  // namespace

int parse_check_command_line(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (scan_argument(argv[i], count_source) != 0) return 1;
    }
    if (check_switch_values() != 0) return 1;
    return check_switch_combinations();
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
