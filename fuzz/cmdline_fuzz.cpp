// Fuzzes the command-line scan: the input is split at NUL bytes into an
// argument vector. Every run starts from the switch table as the program
// starts with it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cmdline/command_line.h"
#include "cmdline/switch_table.h"
#include "common/globals.h"

namespace {

const auto g_initial_table = keston::g_switch_table;

void reset_command_line() {
    keston::g_switch_table = g_initial_table;
    keston::g_switches = 0;
    keston::g_input_name[0] = '\0';
    keston::g_output_name[0] = '\0';
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    reset_command_line();
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    std::vector<const char*> argv{"keston"};
    for (std::size_t start = 0; start < text.size(); start += std::strlen(&text[start]) + 1)
        argv.push_back(&text[start]);
    const int result = keston::parse_command_line(static_cast<int>(argv.size()), argv.data());
    if (result == 0 && (keston::g_switches & keston::F_HELP) == 0) {
        // An accepted command line leaves names that fit their buffers and tab widths within their limits.
        if (std::strlen(keston::g_input_name) >= keston::FILE_NAME_SIZE) __builtin_trap();
        if (std::strlen(keston::g_output_name) >= keston::FILE_NAME_SIZE) __builtin_trap();
        for (const std::uint32_t flag : {keston::F_EXPAND_TABS, keston::F_COMPRESS_TABS}) {
            const auto* width = static_cast<const std::uint32_t*>(keston::get_switch_value(flag));
            if (width != nullptr && (*width < 1 || *width > 64)) __builtin_trap();
        }
    }
    return 0;
}
