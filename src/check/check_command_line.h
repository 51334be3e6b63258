// The command line of keston-check: keston's switches, parsed and checked
// the same way, its own -x, and any number of source names.
#pragma once

#include <string>
#include <vector>

namespace keston::check {

// 0 when every argument is accepted, 1 after the message of the first that is not.
int parse_check_command_line(int argc, const char* const* argv);

// Whether -x was given.
bool fixes_names();

// The sources in their order, each named as keston names its source; empty
// where the name is refused, after the message.
std::vector<std::string> name_sources(int argc, const char* const* argv);

// Whether the command line named at least one source.
bool names_a_source();

// The usage text, for the report or (with to_report false) for standard error.
void print_check_usage(bool to_report);

}  // namespace keston::check
