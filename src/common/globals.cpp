#include "common/globals.h"

namespace keston {

std::uint32_t g_switches = 0;
char g_line_a[MAX_LINE + LINE_SPARE];
char g_line_b[MAX_LINE + LINE_SPARE];
std::uint8_t g_line_toggle = 0;
std::uint32_t g_line_number = 0;
std::uint32_t g_compress_tab = 8;
std::uint32_t g_expand_tab = 8;

}  // namespace keston
