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
bool g_build_mode = false;
bool g_writes_dependencies = false;
bool g_compiler_form = false;

namespace {

constexpr char MAP_USAGE[] =
    "Usage: keston-map [{/|-}<switch> [...]] <src_name> <dst_name> [<src_name> <dst_name> ...]\n"
    "                  [-- <command> [<argument> ...]]\n"
    "Rewrites the assembler's messages about each destination that keston made\n"
    "of its source into messages about the source: its name, its line and its\n"
    "label names. Without a command it reads the messages on standard input;\n"
    "with one it runs the command and rewrites its standard output and error.\n"
    "Switches: those given to keston (-lxx -t[n] -s[n] -a -c -e -f -q -#), and\n"
    "   -b      - build mode: first make each destination and the includes its\n"
    "             source names, writing only what changed; a name ending in /\n"
    "             pairs two folders\n"
    "   -d      - with -b, also write a Make dependency file <destination>.d\n"
    "   -g      - print each message that names a file and line as compilers\n"
    "             do: file:line[:column]: error|warning|note: text\n"
    "   -?      - display this help message\n"
    "Exit status: the command's (127 when it is not found, 126 when it cannot\n"
    "run); without a command 0, or 2 after a bad command line, a file that\n"
    "could not be read or, with -b, a destination that could not be made.\n";

constexpr char COMMAND_SEPARATOR[] = "--";

// The names in the order given: sources and destinations by turns.
const char* const* g_arguments = nullptr;
int g_name_count = 0;

// The flag of a switch that keston does not have, -b, -d or -g; null for another.
bool* own_switch(char letter) {
    switch (letter) {
        case 'b':
            return &g_build_mode;
        case 'd':
            return &g_writes_dependencies;
        case 'g':
            return &g_compiler_form;
        default:
            return nullptr;
    }
}

// -b, -d and -g: 0 when argument is none of them, else 1, or -1 after the
// message of one given twice.
int take_own_switch(const char* argument) {
    if (!is_switch(argument) || argument[1] == '\0' || argument[2] != '\0') return 0;
    bool* const given = own_switch(static_cast<char>(argument[1] | 0x20));
    if (given == nullptr) return 0;
    if (*given) {
        std::printf("\n\r?KESTON-F-Multiple switch specification\n\r");
        return -1;
    }
    *given = true;
    return 1;
}

// A name counts as keston's input file, so that -? refuses it as keston does.
int count_name(const char*) {
    g_switches |= F_INPUT_NAMED;
    ++g_name_count;
    return 0;
}

// A folder's name ends in a separator, and gets no extension.
int store_name(const char* name, char* stored) {
    const std::size_t length = std::strlen(name);
    if (length == 0 || !is_folder_name(name)) return apply_default_extension(name, stored);
    if (length >= FILE_NAME_SIZE) {
        std::printf("\n\r?KESTON-F-Too long filename\n\r");
        return 1;
    }
    std::memcpy(stored, name, length + 1);
    return 0;
}

// A folder pairs only with a folder.
int check_folder_pairs() {
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        Pair& pair = g_pairs[i];
        pair.folders = is_folder_name(pair.source);
        if (pair.folders == is_folder_name(pair.destination)) continue;
        note("%s and %s: a folder pairs only with a folder", pair.source, pair.destination);
        return COMMAND_LINE_REFUSED;
    }
    return COMMAND_LINE_ACCEPTED;
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
        if (store_name(g_arguments[i], named % 2 == 0 ? pair.source : pair.destination) != 0) {
            return COMMAND_LINE_REFUSED;
        }
        ++named;
    }
    return check_folder_pairs();
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
        const int own = take_own_switch(argv[i]);
        if (own < 0 || (own == 0 && scan_argument(argv[i], count_name) != 0)) {
            return COMMAND_LINE_REFUSED;
        }
    }
    if (check_switch_values() != 0 || check_switch_combinations() != 0) return COMMAND_LINE_REFUSED;
    if ((g_switches & F_HELP) != 0) return COMMAND_LINE_ACCEPTED;
    if (g_writes_dependencies && !g_build_mode) return COMMAND_LINE_INCOMPLETE;
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
