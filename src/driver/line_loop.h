// The per-line loop of a run: read, transform in the fixed order, write.
#pragma once

namespace keston {

// Runs every line of g_input through the selected transformations into
// g_output. Stops at the end of the source or at the first failure, whose
// message has been printed where it was found.
void process_file();

}  // namespace keston
