// The per-line loop of a run: read, transform in the fixed order, write.
#pragma once

#include <cstdint>

namespace keston {

// The chunk size of the source's stream: 0, the whole file at once, with -f.
std::uint32_t source_read_size();

// Runs every line of g_input through the selected transformations into
// g_output. Stops at the end of the source or at the first failure, whose
// message has been printed where it was found.
void process_file();

// Results of make_destination.
constexpr int MADE = 0;
constexpr int SOURCE_NOT_OPENED = 1;
constexpr int RUN_FAILED = 2;  // a stop in the source (g_run_stop) or a failed write

// keston's run from the source named into the descriptor fd (never 0), which
// is closed then: the source read as the switches say, every line through
// the chain, the result written whole. The failure's message is printed
// unless messages are muted.
int make_destination(const char* source, int fd);

}  // namespace keston
