// Number parsers for switch values. Each sets g_number_error to 1 on entry and
// clears it only when the whole text was a valid number; on failure the result is 0.
#pragma once

#include <cstdint>

namespace keston {

extern std::uint32_t g_number_error;

// Leading zeros, then at most 9 significant decimal digits.
std::uint32_t parse_decimal(const char* text);

// Any hexadecimal digits in either case while the value fits 32 bits; no prefix or suffix.
std::uint32_t parse_hex(const char* text);

}  // namespace keston
