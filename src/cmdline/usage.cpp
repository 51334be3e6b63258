#include "cmdline/usage.h"

#include <cstdio>

namespace keston {

namespace {

constexpr char USAGE_TEXT[] =
    "\n\rUsage: keston [{/|-}<switch> [...]]] <src_name> <dst_name>\n\r"
    "Switches:\n\r"
    "   -#      - verbose operations\n\r"
    "   -lxx    - local label processing, where\n\r"
    "           - xx are the two chars of prefix\n\r"
    "   -f      - read the whole input file\n\r"
    "   -q      - no line processing after quotes\n\r"
    "   -e      - do not write empty lines\n\r"
    "   -t[n]   - compress spaces into tabs\n\r"
    "   -s[n]   - expand tabs into spaces\n\r"
    "   -a      - remove asm-style comments\n\r"
    "   -c      - remove cpp-style comments\n\r"
    "   -?      - display this help message\n\r"
    "\n\r";

}  // namespace

void print_usage() {
    std::printf("%s", HELP_BANNER);
    std::printf("%s", USAGE_TEXT);
}

}  // namespace keston
