// Whether re-tabbing leaves a line as it is: most lines of real sources are
// tab-aligned already, and for them expanding the TABs and compressing the
// spaces again gives back the same bytes.
#pragma once

#include <cstdint>

namespace keston {

// True when expanding the TABs of line (length characters, in a line buffer:
// whole spans are read behind it) with g_expand_tab and then compressing its
// spaces with g_compress_tab gives back exactly line, and neither step would
// refuse it. False for every line that holds a double
// quote, a blank before a TAB or at its end, or spaces that compression would
// turn into a TAB.
bool tabs_round_trip(const char* line, std::uint32_t length);

}  // namespace keston
