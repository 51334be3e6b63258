#include "cmdline/run_settings.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "cmdline/switch_table.h"
#include "common/globals.h"

namespace keston {

namespace {

constexpr std::uint32_t DEFAULT_TAB_WIDTH = 8;
constexpr std::size_t LABEL_PREFIX_LENGTH = 2;

}  // namespace

void set_tab_widths() {
    const auto* compress = static_cast<const std::uint32_t*>(get_switch_value(F_COMPRESS_TABS));
    g_compress_tab = compress != nullptr ? *compress : DEFAULT_TAB_WIDTH;
    const auto* expand = static_cast<const std::uint32_t*>(get_switch_value(F_EXPAND_TABS));
    g_expand_tab = expand != nullptr ? *expand : g_compress_tab;
}

int set_label_prefix(char* prefix) {
    if ((g_switches & F_LOCAL_LABELS) == 0) return 0;
    const auto* text = static_cast<const char*>(get_switch_value(F_LOCAL_LABELS));
    if (std::strlen(text) != LABEL_PREFIX_LENGTH) {
        std::printf("\n\r?KESTON-F-Invalid Local label prefix specified\n\r");
        return 1;
    }
    std::memcpy(prefix, text, LABEL_PREFIX_LENGTH);
    return 0;
}

}  // namespace keston
