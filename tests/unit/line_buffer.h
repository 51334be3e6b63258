// Runs one line transformation on a test line the way the line loop does.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/globals.h"

namespace keston::test {

// Loads line into g_line_a (both buffers filled with a marker first), runs
// transform and returns what it printed followed, unless it failed, by the current line.
template <typename Transform>
std::string run_on_line(const std::string& line, Transform transform) {
    std::memset(g_line_a, 0x55, sizeof g_line_a);
    std::memset(g_line_b, 0x55, sizeof g_line_b);
    std::memcpy(g_line_a, line.c_str(), line.size() + 1);
    g_line_length = static_cast<std::uint32_t>(std::strlen(g_line_a));
    g_line_toggle = 0;
    testing::internal::CaptureStdout();
    bool failed = false;
    if constexpr (std::is_void_v<decltype(transform())>) {
        transform();
    } else {
        failed = transform() < 0;
    }
    const std::string printed = testing::internal::GetCapturedStdout();
    return failed ? printed : printed + current_line();
}

}  // namespace keston::test
