// The values that the line transformations take from the switches, set up
// the same way by every program that runs the chain.
#pragma once

namespace keston {

// g_compress_tab: the -t width or 8; g_expand_tab: the -s width, else the -t one.
void set_tab_widths();

// The two characters of -l into prefix. 0, also without -l; 1 after its
// message when the text of -l is not two characters long.
int set_label_prefix(char* prefix);

}  // namespace keston
