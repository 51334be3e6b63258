// keston-map's two output streams, buffered: the rewritten lines, the notes.
#pragma once

#include <cstdint>

namespace keston::map {

constexpr std::uint32_t OUTPUT_SIZE = 65536;

struct Output {
    int fd;
    bool is_standard_output;
    std::uint32_t used;
    char bytes[OUTPUT_SIZE];
};

// Standard output and standard error; set_output_descriptors names the
// descriptor that reaches standard output.
extern Output g_output;
extern Output g_errors;
void set_output_descriptors(int standard_output, int standard_error);

// Set when standard output could not be written, after its one note.
extern bool g_output_failed;

// Set when standard output's reader went away while a command runs; from
// then on its bytes are dropped, without a note.
extern bool g_output_reader_gone;

// With a command: a reader of standard output that goes away is no failure
// of keston-map's. The command meets the closed pipe instead, as it would in
// a shell pipeline, and its status tells the rest.
void leave_reader_to_command();

void put(Output& output, const char* bytes, std::uint32_t count);

// Writes what the buffer holds. A failed write of standard output is noted
// once; from then on its bytes are dropped. One of standard error has
// nowhere to be told.
void flush(Output& output);

}  // namespace keston::map
