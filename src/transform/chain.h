// The fixed chain of line transformations that the switches select.
#pragma once

#include <cstdint>

namespace keston {

// Runs g_line_a (as read, g_line_length set) through the transformations of
// g_switches in their fixed order; the result is current_line(). -1 when a
// transformation refused the line, after its message.
std::int32_t transform_line();

// The same chain in two parts, for a caller that looks at the line between
// them: the comment removers, which return the length that -a alone leaves
// (the line's length without -a), and then every step behind them. Unless
// compress_spaces, -t's compression, which never refuses a line and turns
// nothing but spaces into TABs, is left out, and so is expansion wherever it
// cannot refuse the line and label processing leaves the line alone: the line
// then keeps its TABs and loses its trailing blanks. That is for a caller
// that reads of such a result only whether it is empty and its bytes other
// than blanks, in their order.
std::uint32_t remove_comments();
std::int32_t transform_uncommented_line(bool compress_spaces);

}  // namespace keston
