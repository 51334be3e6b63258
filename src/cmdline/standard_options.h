// --help and --version, which users expect of every command-line program.
// Each counts only as a program's one argument; anywhere else it is an
// argument like any other, with the treatment the program gives it.
#pragma once

namespace keston {

enum class StandardOption { NONE, HELP, VERSION };

StandardOption standard_option(int argc, const char* const* argv);

// The one line that --version prints: the program's name and the version of
// the build, ended by a newline.
const char* version_line(const char* program);

}  // namespace keston
