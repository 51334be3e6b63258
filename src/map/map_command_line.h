// The command line of keston-map: keston's switches, parsed and checked the
// same way, pairs of names as they were given to keston, and the command
// behind "--".
#pragma once

namespace keston::map {

// Results of parse_map_command_line.
constexpr int COMMAND_LINE_ACCEPTED = 0;
constexpr int COMMAND_LINE_REFUSED = 1;     // after keston's message
// no pair, a name without its pair, "--" without a command, or -d without -b
constexpr int COMMAND_LINE_INCOMPLETE = 2;

// Fills g_pairs; g_command gets the command and its arguments, ended by a
// null pointer, or null without "--".
int parse_map_command_line(int argc, const char* const* argv);

extern const char* const* g_command;

// -b: the destinations are made before the command runs; -d (with -b): each
// gets a Make dependency file.
extern bool g_build_mode;
extern bool g_writes_dependencies;
// -g: message lines that name a file and line in the compilers' form.
extern bool g_compiler_form;

// The usage text, on standard output for -? or on standard error.
void print_map_usage(bool to_standard_output);

}  // namespace keston::map
