// The fixed table of every switch the program accepts. It is both the
// vocabulary of switches and the store of what the command line gave.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace keston {

// What may follow the switch letter.
constexpr std::uint8_t SW_NONE = 0;
constexpr std::uint8_t SW_DECIMAL = 1;
constexpr std::uint8_t SW_HEX = 2;
constexpr std::uint8_t SW_STRING = 3;

// SwitchEntry::options
constexpr std::uint8_t SWO_LOW_LIMIT = 0x01;
constexpr std::uint8_t SWO_HIGH_LIMIT = 0x02;
constexpr std::uint8_t SWO_VALUE_REQUIRED = 0x04;

// SwitchEntry::state
constexpr std::uint8_t SWS_GIVEN = 0x01;
constexpr std::uint8_t SWS_HAS_VALUE = 0x02;

struct SwitchEntry;

// An extra test on a given switch: 0 passes, anything else fails the pass silently.
using SwitchCheck = std::int32_t (*)(SwitchEntry* entry);

// A number for SW_DECIMAL and SW_HEX; for SW_STRING the text behind the letter,
// pointing into the command-line argument itself.
union SwitchValue {
    std::uint32_t number;
    const char* text;
};

struct SwitchEntry {
    char letter;  // upper case
    std::uint8_t valueType;
    std::uint8_t options;
    std::uint8_t state;
    std::uint32_t flagBit;
    std::uint32_t conflictMask;
    std::uint32_t requiredMask;
    SwitchCheck combinationCheck;
    SwitchCheck valueCheck;
    std::uint32_t lowLimit;
    std::uint32_t highLimit;
    SwitchValue value;
};

constexpr std::size_t SWITCH_COUNT = 11;

extern std::array<SwitchEntry, SWITCH_COUNT> g_switch_table;

// text is an argument without its leading '-' or '/'. Returns 0 when the switch
// was recorded, 1 after printing why not.
int parse_switch(const char* text);

// Limits and value checks of every given switch; 0 or 1 after the first failure.
int check_switch_values();

// Conflict and required masks of every given switch; 0 or 1 after the first failure.
int check_switch_combinations();

// The number (as a pointer to it) or the text of the switch owning flag, or
// null when it was not given or given without a value.
const void* get_switch_value(std::uint32_t flag);

}  // namespace keston
