// Puts a test line into g_line_a as the line loop does before the chain runs.
#pragma once

#include <cstring>
#include <string>

#include "common/globals.h"

namespace keston::test {

inline void load_line(const std::string& text) {
    std::memset(g_line_a, 0x55, sizeof g_line_a);
    std::memset(g_line_b, 0x55, sizeof g_line_b);
    std::memcpy(g_line_a, text.c_str(), text.size() + 1);
    g_line_toggle = 0;
}

inline std::string current() { return current_line(); }

}  // namespace keston::test
