#include "transform/tab_round_trip.h"

#include <array>
#include <bit>

#include "common/byte_scan.h"
#include "common/globals.h"
#include "transform/tab_expansion.h"

namespace keston {

namespace {

// Indexed by width: for each width that divides SPAN_BYTES, bit i set for
// every i one short of a multiple of it, the columns right before a stop; 0
// for every other width up to SPAN_BYTES.
constexpr std::array<SpanBits, SPAN_BYTES + 1> BEFORE_STOPS = [] {
    std::array<SpanBits, SPAN_BYTES + 1> table{};
    for (std::uint32_t width = 1; width <= SPAN_BYTES; width *= 2) {
        for (std::uint32_t i = width - 1; i < SPAN_BYTES; i += width) table[width] |= SpanBits{1} << i;
    }
    return table;
}();

// The bytes behind an odd number of double quotes, counting from the line's
// start: open_before has every bit set where the spans before left a string
// open, none where they did not.
SpanBits quoted_bytes(SpanBits quotes, SpanBits open_before) {
    for (int shift = 1; shift < static_cast<int>(SPAN_BYTES); shift *= 2) quotes ^= quotes << shift;
    return quotes ^ open_before;
}

}  // namespace

// With one width W for both steps, expansion takes every TAB to a stop and
// compression turns a run of spaces into a TAB for every stop it reaches. So
// a run of blanks comes back as it was exactly when it is TABs followed by
// spaces of which none stands right before a stop: none at a column one short
// of a multiple of W. Behind a TAB the column is a stop, so a byte's column
// counts, modulo W, from the byte behind the last TAB before it. Inside
// double quotes compression leaves spaces alone, but expansion does not spare
// a TAB: a quoted space never matters, a quoted TAB always does. Expansion
// drops a line's trailing blanks, so they play no part but in its length. A
// line is looked at SPAN_BYTES at a time, which W divides; other widths, or a
// width of its own for each step, are left to the two steps.
std::uint32_t round_trip_length(const char* line, std::uint32_t length) {
    const std::uint32_t width = g_compress_tab;
    const SpanBits stops = g_expand_tab == width && width <= SPAN_BYTES ? BEFORE_STOPS[width] : 0;
    if (stops == 0) return RETAB_CHANGES;
    std::uint32_t kept = length;
    while (kept > 0 && is_blank(line[kept - 1])) --kept;
    SpanBits before_stop = stops;  // the columns before a stop, in the line's indices from the last TAB on
    SpanBits open_before = 0;  // every bit set while a string is open at the span's start
    for (std::uint32_t at = 0; at < kept; at += SPAN_BYTES) {
        auto [tab, space, quote] = span_flags_within(line + at, kept - at, '\t', ' ', '"');
        if ((quote | open_before) != 0) {
            const SpanBits quoted = quoted_bytes(quote, open_before);
            if ((tab & quoted) != 0) return RETAB_CHANGES;
            space &= ~quoted;
            open_before = SpanBits{0} - (quoted >> (SPAN_BYTES - 1));
        }
        // A space before a TAB: compression would merge them. (One at the end
        // of a span stands before no TAB of this span, but may before the next.)
        if ((space & ((tab >> 1) | (SpanBits{1} << (SPAN_BYTES - 1)))) != 0) return RETAB_CHANGES;
        SpanBits bad = 0;
        for (SpanBits rest = tab; rest != 0; rest &= rest - 1) {
            const SpanBits through_tab = rest ^ (rest - 1);
            bad |= space & before_stop & through_tab;
            space &= ~through_tab;
            before_stop = std::rotl(stops, std::countr_zero(rest) + 1);
        }
        if ((bad | (space & before_stop)) != 0) return RETAB_CHANGES;
    }
    return expansion_fits(line, length) ? kept : RETAB_CHANGES;
}

}  // namespace keston
