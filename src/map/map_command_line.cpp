#include "map/map_command_line.h"

#include <cstdio>
#include <cstring>

#include "cmdline/command_line.h"
#include "cmdline/switch_table.h"
#include "common/globals.h"
#include "map/notes.h"
#include "map/output.h"
#include "map/pairs.h"

namespace keston::map {

const char* const* g_command = nullptr;

namespace {

constexpr char MAP_USAGE[] =
    "Usage: keston-map [{/|-}<switch> [...]] <src_name> <dst_name> [<src_name> <dst_name> ...]\n"
    "                  [-- <command> [<argument> ...]]\n"
    "Rewrites the assembler's messages about each destination that keston made\n"
    "of its source into messages about the source: its name, its line and its\n"
    "label names. Without a command it reads the messages on standard input;\n"
    "with one it runs the command and rewrites its standard output and error.\n"
    "Switches: those given to keston (-lxx -t[n] -s[n] -a -c -e -f -q -#), and\n"
    "   -?      - display this help message\n"
    "Exit status: the command's (127 when it cannot be started); without a\n"
    "command 0, or 2 after a bad command line or a file that could not be read.\n";

constexpr char COMMAND_SEPARATOR[] = "--";

// The names in the order given: sources and destinations by turns.
const char* const* g_arguments = nullptr;
int g_name_count = 0;

// A name counts as keston's input file, so that -? refuses it as keston does.
int count_name(const char*) {
    g_switches |= F_INPUT_NAMED;
    ++g_name_count;
    return 0;
}

int store_pairs(int names_end) {
    if (!allocate_pairs(static_cast<std::uint32_t>(g_name_count / 2))) {
        note("not enough memory");
        return COMMAND_LINE_REFUSED;
    }
    std::uint32_t named = 0;
    for (int i = 1; i < names_end; ++i) {
        if (is_switch(g_arguments[i])) continue;
        Pair& pair = g_pairs[named / 2];
        if (apply_default_extension(g_arguments[i], named % 2 == 0 ? pair.source : pair.destination) != 0) {
            return COMMAND_LINE_REFUSED;
        }
        ++named;
    }
    return COMMAND_LINE_ACCEPTED;
}

}  // namespace

int parse_map_command_line(int argc, const char* const* argv) {
    g_arguments = argv;
    int names_end = argc;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], COMMAND_SEPARATOR) != 0) continue;
        names_end = i;
        g_command = argv + i + 1;
        break;
    }
    for (int i = 1; i < names_end; ++i) {
        if (scan_argument(argv[i], count_name) != 0) return COMMAND_LINE_REFUSED;
    }
    if (check_switch_values() != 0 || check_switch_combinations() != 0) return COMMAND_LINE_REFUSED;
    if ((g_switches & F_HELP) != 0) return COMMAND_LINE_ACCEPTED;
    if (g_name_count == 0 || g_name_count % 2 != 0 || (g_command != nullptr && *g_command == nullptr)) {
        return COMMAND_LINE_INCOMPLETE;
    }
    return store_pairs(names_end);
}

void print_map_usage(bool to_standard_output) {
    if (to_standard_output) {
        put(g_output, MAP_USAGE, sizeof MAP_USAGE - 1);
        flush(g_output);
    } else {
        std::printf("%s", MAP_USAGE);
    }
}

}  // namespace keston::map
