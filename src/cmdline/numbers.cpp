#include "cmdline/numbers.h"

namespace keston {

std::uint32_t g_number_error = 0;

namespace {

constexpr int MAX_DECIMAL_DIGITS = 9;
constexpr std::uint32_t HEX_OVERFLOW_BITS = 0xF0000000;

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::uint32_t parse_decimal(const char* text) {
    g_number_error = 1;
    while (*text == '0') ++text;
    std::uint32_t value = 0;
    for (int digits = 0; *text != '\0'; ++text, ++digits) {
        if (digits == MAX_DECIMAL_DIGITS || *text < '0' || *text > '9') return 0;
        value = value * 10 + static_cast<std::uint32_t>(*text - '0');
    }
    g_number_error = 0;
    return value;
}

std::uint32_t parse_hex(const char* text) {
    g_number_error = 1;
    std::uint32_t value = 0;
    for (; *text != '\0'; ++text) {
        const int digit = hex_digit_value(*text);
        if (digit < 0 || (value & HEX_OVERFLOW_BITS) != 0) return 0;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    g_number_error = 0;
    return value;
}

}  // namespace keston
