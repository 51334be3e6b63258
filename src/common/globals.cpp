#include "common/globals.h"

namespace keston {

std::uint32_t g_switches = 0;
char g_line_a[LINE_BUFFER_SIZE];
char g_line_b[LINE_BUFFER_SIZE];
std::uint32_t g_line_length = 0;
std::uint8_t g_line_toggle = 0;
std::uint64_t g_line_number = 0;
std::uint32_t g_compress_tab = 8;
std::uint32_t g_expand_tab = 8;

}  // namespace keston
