#include "cmdline/switch_table.h"

#include <cstdio>

#include "cmdline/numbers.h"
#include "common/globals.h"

namespace keston {

namespace {

constexpr std::uint32_t ALL_BUT_HELP = ~F_HELP;
constexpr std::uint8_t TAB_LIMITS = SWO_LOW_LIMIT | SWO_HIGH_LIMIT;

}  // namespace

// clang-format off
std::array<SwitchEntry, SWITCH_COUNT> g_switch_table = {{
    // letter type        options             state flagBit           conflictMask  requiredMask combination valueCheck low high value
    {'A', SW_NONE,    0,                  0, F_ASM_COMMENTS,   0,            0, nullptr, nullptr, 0, 0,  {.number = 0}},
    {'C', SW_NONE,    0,                  0, F_CPP_COMMENTS,   0,            0, nullptr, nullptr, 0, 0,  {.number = 0}},
    {'E', SW_NONE,    0,                  0, F_NO_EMPTY_LINES, 0,            0, nullptr, nullptr, 0, 0,  {.number = 0}},
    {'F', SW_NONE,    0,                  0, F_WHOLE_FILE,     0,            0, nullptr, nullptr, 0, 0,  {.number = 0}},
    {'L', SW_STRING,  SWO_VALUE_REQUIRED, 0, F_LOCAL_LABELS,   0,            0, nullptr, nullptr, 0, 0,  {.text = nullptr}},
    {'Q', SW_NONE,    0,                  0, F_QUOTES,         0,            0, nullptr, nullptr, 0, 0,  {.number = 0}},
    {'S', SW_DECIMAL, TAB_LIMITS,         0, F_EXPAND_TABS,    0,            0, nullptr, nullptr, 1, 64, {.number = 8}},
    {'T', SW_DECIMAL, TAB_LIMITS,         0, F_COMPRESS_TABS,  0,            0, nullptr, nullptr, 1, 64, {.number = 8}},
    {'H', SW_NONE,    0,                  0, F_HELP,           ALL_BUT_HELP, 0, nullptr, nullptr, 0, 0,  {.number = 0}},
    {'?', SW_NONE,    0,                  0, F_HELP,           ALL_BUT_HELP, 0, nullptr, nullptr, 0, 0,  {.number = 0}},
    {'#', SW_NONE,    0,                  0, F_VERBOSE,        0,            0, nullptr, nullptr, 0, 0,  {.number = 0}},
}};
// clang-format on

namespace {

void print_internal_error() {
    std::printf("\n\r*** INTERNAL ERROR *** Unknown switch type encountered\n\r");
}

constexpr char ascii_upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

SwitchEntry* find_by_letter(char letter) {
    for (SwitchEntry& entry : g_switch_table) {
        if (entry.letter == letter) return &entry;
    }
    return nullptr;
}

SwitchEntry* find_by_flag(std::uint32_t flag) {
    for (SwitchEntry& entry : g_switch_table) {
        if (entry.flagBit == flag) return &entry;
    }
    return nullptr;
}

int store_number(SwitchEntry& entry, char typed, const char* value_text) {
    entry.value.number = entry.valueType == SW_DECIMAL ? parse_decimal(value_text) : parse_hex(value_text);
    if (g_number_error != 0) {
        std::printf("\n\r?KESTON-F-Switch -%c has invalid value\n\r", typed);
        return 1;
    }
    entry.state |= SWS_HAS_VALUE;
    return 0;
}

// Records what follows the letter. typed is the letter as the user wrote it.
int store_value(SwitchEntry& entry, char typed, const char* value_text) {
    const bool has_text = *value_text != '\0';
    if (entry.valueType > SW_STRING) {
        print_internal_error();
        return 1;
    }
    if (entry.valueType == SW_NONE) {
        if (!has_text) return 0;
        std::printf("\n\r?KESTON-F-Switch -%c has unexpected value\n\r", typed);
        return 1;
    }
    if (!has_text) {
        if ((entry.options & SWO_VALUE_REQUIRED) == 0) return 0;
        std::printf("\n\r?KESTON-F-Switch -%c must have value\n\r", typed);
        return 1;
    }
    if (entry.valueType == SW_STRING) {
        entry.value.text = value_text;
        entry.state |= SWS_HAS_VALUE;
        return 0;
    }
    return store_number(entry, typed, value_text);
}

int check_limits(const SwitchEntry& entry) {
    if ((entry.options & SWO_LOW_LIMIT) != 0 && entry.value.number < entry.lowLimit) {
        std::printf("\n\r?KESTON-F-Switch -%c has value less than lower limit\n\r", entry.letter);
        return 1;
    }
    if ((entry.options & SWO_HIGH_LIMIT) != 0 && entry.value.number > entry.highLimit) {
        std::printf("\n\r?KESTON-F-Switch -%c has value more than upper limit\n\r", entry.letter);
        return 1;
    }
    return 0;
}

int check_value(SwitchEntry& entry) {
    switch (entry.valueType) {
        case SW_NONE:
            return 0;
        case SW_DECIMAL:
        case SW_HEX:
            if (check_limits(entry) != 0) return 1;
            break;
        case SW_STRING:
            break;
        default:
            print_internal_error();
            return 1;
    }
    return (entry.valueCheck != nullptr && entry.valueCheck(&entry) != 0) ? 1 : 0;
}

}  // namespace

int parse_switch(const char* text) {
    const char typed = text[0];
    SwitchEntry* entry = find_by_letter(ascii_upper(typed));
    if (entry == nullptr) {
        std::printf("\n\r?KESTON-F-Unknown switch specified: -%s\n\r", text);
        return 1;
    }
    if ((g_switches & entry->flagBit) != 0) {
        std::printf("\n\r?KESTON-F-Multiple switch specification\n\r");
        return 1;
    }
    g_switches |= entry->flagBit;
    entry->state |= SWS_GIVEN;
    return store_value(*entry, typed, text + 1);
}

int check_switch_values() {
    for (SwitchEntry& entry : g_switch_table) {
        if (entry.state != 0 && check_value(entry) != 0) return 1;
    }
    return 0;
}

int check_switch_combinations() {
    std::uint32_t word = g_switches;
    for (SwitchEntry& entry : g_switch_table) {
        if (entry.state == 0) continue;
        if ((entry.conflictMask & word) != 0) {
            std::printf("\n\r?KESTON-F-Incompatible switch combination specified\n\r");
            return 1;
        }
        if ((word & entry.requiredMask) != entry.requiredMask) {
            std::printf("\n\r?KESTON-F-Incomplete switch combination specified\n\r");
            return 1;
        }
        if (entry.combinationCheck != nullptr) {
            if (entry.combinationCheck(&entry) != 0) return 1;
            word = g_switches;  // the check may have changed the switches
        }
    }
    return 0;
}

const void* get_switch_value(std::uint32_t flag) {
    const SwitchEntry* entry = find_by_flag(flag);
    if (entry == nullptr) return nullptr;
    if ((g_switches & flag) == 0 || (entry->state & SWS_HAS_VALUE) == 0) return nullptr;
    switch (entry->valueType) {
        case SW_NONE:
            return nullptr;
        case SW_DECIMAL:
        case SW_HEX:
            return &entry->value.number;
        case SW_STRING:
            return entry->value.text;
        default:
            print_internal_error();
            return nullptr;
    }
}

}  // namespace keston
