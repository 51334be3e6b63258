#include "cmdline/standard_options.h"

#include <cstdio>
#include <cstring>

#include "cmdline/version.h"

namespace keston {

namespace {

constexpr std::size_t VERSION_LINE_SIZE = 64;

}  // namespace

StandardOption standard_option(int argc, const char* const* argv) {
    if (argc != 2) return StandardOption::NONE;
    if (std::strcmp(argv[1], "--help") == 0) return StandardOption::HELP;
    if (std::strcmp(argv[1], "--version") == 0) return StandardOption::VERSION;
    return StandardOption::NONE;
}

const char* version_line(const char* program) {
    static char line[VERSION_LINE_SIZE];
    std::snprintf(line, sizeof line, "%s %s\n", program, KESTON_VERSION);
    return line;
}

}  // namespace keston
