// Whether re-tabbing leaves a line as it is, but for its trailing blanks: most
// lines of real sources are tab-aligned already, and for them expanding the
// TABs and compressing the spaces again gives back the same bytes.
#pragma once

#include <cstdint>

namespace keston {

constexpr std::uint32_t RETAB_CHANGES = ~0u;

// When expanding the TABs of line (length characters, in a line buffer: whole
// spans are read behind it) with g_expand_tab and then compressing its spaces
// with g_compress_tab gives back line without its trailing blanks, and neither
// step would refuse it: the length of that result. RETAB_CHANGES for every
// other line, among them each that holds a TAB inside double quotes, a blank
// before a TAB, or spaces outside double quotes that compression would turn
// into a TAB.
std::uint32_t round_trip_length(const char* line, std::uint32_t length);

}  // namespace keston
