#include "transform/tab_round_trip.h"

#include <bit>
#include <iterator>

#include "common/byte_scan.h"
#include "common/globals.h"

namespace keston {

namespace {

// For each width that divides SPAN_BYTES (1, 2, 4 up to SPAN_BYTES, indexed
// by its power of two), bit i set for every i one short of a multiple of it:
// the columns right before a stop.
constexpr SpanBits BEFORE_STOPS[] = {0xFFFFFFFF, 0xAAAAAAAA, 0x88888888, 0x80808080, 0x80008000, 0x80000000};
static_assert(std::size(BEFORE_STOPS) == std::countr_zero(SPAN_BYTES) + 1);

}  // namespace

// With one width W for both steps, expansion takes every TAB to a stop and
// compression turns a run of spaces into a TAB for every stop it reaches. So
// a run of blanks comes back as it was exactly when it is TABs followed by
// spaces of which none stands right before a stop: none at a column one short
// of a multiple of W. Behind a TAB the column is a stop, so a byte's column
// counts, modulo W, from the byte behind the last TAB before it. A line is
// looked at SPAN_BYTES at a time, which W divides; other widths, or a width
// of its own for each step, are left to the two steps.
bool tabs_round_trip(const char* line, std::uint32_t length) {
    const std::uint32_t width = g_compress_tab;
    if (length == 0) return true;
    if (g_expand_tab != width || (width & (width - 1)) != 0 || width > SPAN_BYTES || is_blank(line[length - 1]))
        return false;
    const SpanBits stops = BEFORE_STOPS[std::countr_zero(width)];
    SpanBits before_stop = stops;  // the columns before a stop, in the line's indices from the last TAB on
    std::uint32_t tabs = 0;
    for (std::uint32_t at = 0; at < length; at += SPAN_BYTES) {
        auto [tab, space, quote] = span_flags(line + at, '\t', ' ', '"');
        if (length - at < SPAN_BYTES) {
            const SpanBits valid = (SpanBits{1} << (length - at)) - 1;
            tab &= valid;
            space &= valid;
            quote &= valid;
        }
        // A space before a TAB: compression would merge them. (One at the end
        // of a span stands before no TAB of this span, but may before the next.)
        if (quote != 0 || (space & ((tab >> 1) | (SpanBits{1} << (SPAN_BYTES - 1)))) != 0) return false;
        SpanBits bad = 0;
        for (SpanBits rest = tab; rest != 0; rest &= rest - 1) {
            const SpanBits through_tab = rest ^ (rest - 1);
            bad |= space & before_stop & through_tab;
            space &= ~through_tab;
            before_stop = std::rotl(stops, std::countr_zero(rest) + 1);
            ++tabs;
        }
        if ((bad | (space & before_stop)) != 0) return false;
    }
    return length + tabs * (width - 1) <= MAX_LINE_CHARS;
}

}  // namespace keston
