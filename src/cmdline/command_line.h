// The scan of the command line: switches to the switch table, the first two
// other arguments to the input and output names.
#pragma once

#include <cstddef>

namespace keston {

constexpr std::size_t FILE_NAME_SIZE = 256;

extern char g_input_name[FILE_NAME_SIZE];
extern char g_output_name[FILE_NAME_SIZE];

// 0 when the whole command line is accepted, 1 after its one message.
int parse_command_line(int argc, const char* const* argv);

// Whether an argument is a switch rather than a file name.
bool is_switch(const char* argument);

// Takes a file-name argument; 0, or 1 after its message.
using FileNameHandler = int (*)(const char* text);

// One argument: a switch goes to parse_switch, anything else to add_name. An
// empty argument or a lone '-' or '/' is a syntax error. 0, or 1 after its message.
int scan_argument(const char* argument, FileNameHandler add_name);

// Stores a file-name argument as the input name, then as the output name.
int add_file_name(const char* text);

// Copies source into the FILE_NAME_SIZE-byte destination, adding ".ASM" when the
// name holds no dot anywhere and is not a device name.
int apply_default_extension(const char* source, char* destination);

}  // namespace keston
