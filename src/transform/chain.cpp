#include "transform/chain.h"

#include "common/globals.h"
#include "transform/comments.h"
#include "transform/local_labels.h"
#include "transform/tab_compression.h"
#include "transform/tab_expansion.h"

namespace keston {

std::int32_t transform_line() {
    g_line_toggle = 0;
    const std::uint32_t switches = g_switches;
    if ((switches & F_ASM_COMMENTS) != 0) strip_asm_comment();
    if ((switches & F_CPP_COMMENTS) != 0) strip_cpp_comment();
    // Tabs are always expanded before they are compressed, so -t re-tabs from columns.
    if ((switches & (F_EXPAND_TABS | F_COMPRESS_TABS)) != 0 && expand_tabs() < 0) return -1;
    if ((switches & F_LOCAL_LABELS) != 0 && process_local_labels() < 0) return -1;
    if ((switches & F_COMPRESS_TABS) != 0) compress_tabs();
    return 0;
}

}  // namespace keston
