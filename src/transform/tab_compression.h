// Runs of spaces that reach a tab stop turned into TABs, outside double quotes.
#pragma once

namespace keston {

// Current line to the other buffer, which becomes current. Cannot fail: the
// result is never longer than the line.
void compress_tabs();

}  // namespace keston
