// A stream of message lines coming in (standard input, or one of the
// command's streams) and going out rewritten, each as soon as it is complete.
#pragma once

#include <cstdint>

#include "map/output.h"
#include "map/rewrite.h"

namespace keston::map {

// Lines up to this length are rewritten; a longer one passes unchanged.
constexpr std::uint32_t LONGEST_MAPPED_LINE = 65536;

struct MessageStream {
    Output* output;
    std::uint32_t used;
    bool passing;  // the rest of a line too long to be rewritten passes as it comes
    LineContext context;
    char line[LONGEST_MAPPED_LINE];
    // -g: fasm's message, held from the line of its reference to its
    // "error:" line, whose text the reference's line takes.
    std::uint32_t held;
    char block[LONGEST_MAPPED_LINE];
};

extern MessageStream g_output_messages;
extern MessageStream g_error_messages;

// Before the first bytes: the two streams write to g_output and g_errors.
void connect_message_streams();

// Takes bytes as they arrive; every line they complete goes out rewritten.
void take_messages(MessageStream& stream, const char* bytes, std::uint32_t count);

// At the end of the stream, which then takes no more: a last line without a
// line end goes out too.
void end_messages(MessageStream& stream);

}  // namespace keston::map
