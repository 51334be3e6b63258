#include "cmdline/command_line.h"

#include <cstdio>
#include <cstring>

#include "cmdline/switch_table.h"
#include "cmdline/usage.h"
#include "common/globals.h"
#include "platform/file_io.h"

namespace keston {

char g_input_name[FILE_NAME_SIZE];
char g_output_name[FILE_NAME_SIZE];

namespace {

constexpr std::size_t MAX_NAME_CHARS = FILE_NAME_SIZE - 1;
constexpr char DEFAULT_EXTENSION[] = ".ASM";
// A name without a dot must leave room for the extension (and a little more).
constexpr std::size_t MAX_NAME_CHARS_WITHOUT_DOT = 249;

void print_syntax_error() {
    std::printf("\n\r?KESTON-F-Command line syntax error\n\r");
}

}  // namespace

// "-x" and "/x" are switches. An argument that begins with '/' and holds a
// second '/' is an absolute POSIX path such as /tmp/x.asm, not a switch.
bool is_switch(const char* argument) {
    if (argument[0] == '-') return true;
    return argument[0] == '/' && std::strchr(argument + 1, '/') == nullptr;
}

int scan_argument(const char* argument, FileNameHandler add_name) {
    if (argument[0] == '\0') {
        print_syntax_error();
        return 1;
    }
    if (!is_switch(argument)) return add_name(argument);
    if (argument[1] == '\0') {
        print_syntax_error();
        return 1;
    }
    return parse_switch(argument + 1);
}

int parse_command_line(int argc, const char* const* argv) {
    if (argc < 2) {
        print_usage();
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        if (scan_argument(argv[i], add_file_name) != 0) return 1;
    }
    if (check_switch_values() != 0) return 1;
    return check_switch_combinations();
}

int add_file_name(const char* text) {
    if ((g_switches & F_INPUT_NAMED) == 0) {
        g_switches |= F_INPUT_NAMED;
        return apply_default_extension(text, g_input_name);
    }
    if ((g_switches & F_OUTPUT_NAMED) == 0) {
        g_switches |= F_OUTPUT_NAMED;
        return apply_default_extension(text, g_output_name);
    }
    std::printf("\n\r?KESTON-F-Too many filenames specified\n\r");
    return 1;
}

int apply_default_extension(const char* source, char* destination) {
    const std::size_t length = std::strlen(source);
    if (length > MAX_NAME_CHARS) {
        std::printf("\n\r?KESTON-F-Too long filename\n\r");
        return 1;
    }
    std::memcpy(destination, source, length + 1);
    if (std::strrchr(destination, '.') != nullptr || platform::is_device_name(destination)) return 0;
    if (length > MAX_NAME_CHARS_WITHOUT_DOT) {
        std::printf("\n\r?KESTON-F-Too long filename\n\r");
        return 1;
    }
    std::memcpy(destination + length, DEFAULT_EXTENSION, sizeof DEFAULT_EXTENSION);
    return 0;
}

}  // namespace keston
