#include "transform/chain.h"

#include "common/globals.h"
#include "transform/comments.h"
#include "transform/local_labels.h"
#include "transform/tab_compression.h"
#include "transform/tab_expansion.h"
#include "transform/tab_round_trip.h"

namespace keston {

namespace {

// Label processing leaves a line as it is when it holds no prefix pair, and
// no TAB could become one by expansion: then it changes no column between the
// two tab steps. (Inline, as it is tested on every line with -t.)
[[gnu::always_inline]] inline bool labels_keep_line() {
    if ((g_switches & F_LOCAL_LABELS) == 0) return true;
    return !is_blank(g_label_prefix[0]) && !is_blank(g_label_prefix[1]) &&
           find_label_prefix(g_line_a, g_line_length) == g_line_length;
}

// With -t, a line that re-tabbing would give back as it is, but for its
// trailing blanks, loses just those and skips both tab steps, as long as
// nothing between them changes it.
bool tabs_stay() {
    if ((g_switches & F_COMPRESS_TABS) == 0 || !labels_keep_line()) return false;
    const std::uint32_t kept = round_trip_length(g_line_a, g_line_length);
    if (kept == RETAB_CHANGES) return false;
    g_line_a[kept] = '\0';
    g_line_length = kept;
    return true;
}

// For a caller that reads no blanks of the result, a line that expansion
// cannot refuse keeps its TABs and loses its trailing blanks, as long as
// label processing leaves it alone.
bool tabs_unread() {
    if (!expansion_fits(g_line_a, g_line_length) || !labels_keep_line()) return false;
    std::uint32_t kept = g_line_length;
    while (kept > 0 && is_blank(g_line_a[kept - 1])) --kept;
    g_line_a[kept] = '\0';
    g_line_length = kept;
    return true;
}

}  // namespace

std::int32_t transform_line() {
    remove_comments();
    return transform_uncommented_line(true);
}

std::uint32_t remove_comments() {
    const std::uint32_t switches = g_switches;
    if ((switches & F_ASM_COMMENTS) != 0) strip_asm_comment();
    const std::uint32_t asm_cut = g_line_length;
    if ((switches & F_CPP_COMMENTS) != 0) strip_cpp_comment();
    return asm_cut;
}

std::int32_t transform_uncommented_line(bool compress_spaces) {
    g_line_toggle = 0;
    const std::uint32_t switches = g_switches;
    const bool stay =
        (switches & (F_EXPAND_TABS | F_COMPRESS_TABS)) != 0 && (compress_spaces ? tabs_stay() : tabs_unread());
    const bool retab = (switches & (F_EXPAND_TABS | F_COMPRESS_TABS)) != 0 && !stay;
    // Tabs are always expanded before they are compressed, so -t re-tabs from columns.
    if (retab && expand_tabs() < 0) return -1;
    if ((switches & F_LOCAL_LABELS) != 0) {
        // A line whose tabs stay holds no prefix pair.
        if (stay) {
            track_label_scope(g_line_a, g_line_length);
        } else if (process_local_labels() < 0) {
            return -1;
        }
    }
    if (retab && compress_spaces && (switches & F_COMPRESS_TABS) != 0) compress_tabs();
    return 0;
}

}  // namespace keston
