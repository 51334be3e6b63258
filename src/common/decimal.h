// Decimal numbers written straight into a buffer, two digits at a time: the
// label numbers of -l and the line numbers of the reports.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace keston {

// The digits of the largest 64-bit number.
constexpr std::size_t MOST_DECIMAL_DIGITS = 20;

namespace decimal_detail {

// POWERS_OF_TEN[i] is 10 to the power i, the least number of i + 1 digits.
constexpr std::array<std::uint64_t, MOST_DECIMAL_DIGITS> POWERS_OF_TEN = [] {
    std::array<std::uint64_t, MOST_DECIMAL_DIGITS> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < MOST_DECIMAL_DIGITS; ++i) powers[i] = powers[i - 1] * 10;
    return powers;
}();

// "00" to "99", two characters each.
constexpr std::array<char, 200> DIGIT_PAIRS = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

}  // namespace decimal_detail

// The number of digits of number in decimal, but at least least, which is 1
// to MOST_DECIMAL_DIGITS.
constexpr std::size_t decimal_digits(std::uint64_t number, std::size_t least) {
    std::size_t count = least;
    while (count < MOST_DECIMAL_DIGITS && number >= decimal_detail::POWERS_OF_TEN[count]) ++count;
    return count;
}

// Writes the count digits of number, zeros in front where it has fewer, so
// that they end at end: from the last one back, two at a time, those beyond
// 32 bits first, as nearly every number fits 32 bits, whose divisions cost
// less. count is at least decimal_digits(number, 1), as decimal_digits gives it.
inline void write_digits(char* end, std::uint64_t number, std::size_t count) {
    using decimal_detail::DIGIT_PAIRS;
    char* const first = end - count;
    for (; number > UINT32_MAX; number /= 100) {
        end -= 2;
        std::memcpy(end, DIGIT_PAIRS.data() + 2 * (number % 100), 2);
    }
    auto rest = static_cast<std::uint32_t>(number);
    for (; end - first >= 2; rest /= 100) {
        end -= 2;
        std::memcpy(end, DIGIT_PAIRS.data() + 2 * (rest % 100), 2);
    }
    if (end != first) *--end = static_cast<char>('0' + rest % 10);
}

}  // namespace keston
