#include "map/message_stream.h"

#include <cstring>

#include "map/rewrite.h"

namespace keston::map {

MessageStream g_output_messages;
MessageStream g_error_messages;

void connect_message_streams() {
    g_output_messages.output = &g_output;
    g_error_messages.output = &g_errors;
}

namespace {

// Bytes up to and including the first line end, or all of them.
std::uint32_t to_line_end(const char* bytes, std::uint32_t count) {
    const auto* const line_end = static_cast<const char*>(std::memchr(bytes, '\n', count));
    return line_end == nullptr ? count : static_cast<std::uint32_t>(line_end - bytes) + 1;
}

// Passes bytes of a line too long to rewrite, up to its end; the bytes taken.
std::uint32_t pass_on(MessageStream& stream, const char* bytes, std::uint32_t count) {
    const std::uint32_t taken = to_line_end(bytes, count);
    put(*stream.output, bytes, taken);
    stream.passing = bytes[taken - 1] != '\n';
    return taken;
}

// A line that fills the buffer and goes on passes as it stands. So does
// fasm's "error:" line, which then ends the lines that belong to its reference.
void give_up_line(MessageStream& stream) {
    put(*stream.output, stream.line, stream.used);
    if (std::memcmp(stream.line, "error:", 6) == 0) stream.context.continuation = nullptr;
    stream.used = 0;
    stream.passing = true;
}

// Adds bytes to the line in the buffer, up to its end, and rewrites the line
// once it is complete; the bytes taken.
std::uint32_t take_line(MessageStream& stream, const char* bytes, std::uint32_t count) {
    const std::uint32_t taken = to_line_end(bytes, count);
    const std::uint32_t room = LONGEST_MAPPED_LINE - stream.used;
    if (taken > room) {
        std::memcpy(stream.line + stream.used, bytes, room);
        stream.used += room;
        give_up_line(stream);
        return room;
    }
    std::memcpy(stream.line + stream.used, bytes, taken);
    stream.used += taken;
    if (bytes[taken - 1] == '\n') {
        rewrite_line(stream.line, stream.used, stream.context, *stream.output);
        stream.used = 0;
    }
    return taken;
}

}  // namespace

void take_messages(MessageStream& stream, const char* bytes, std::uint32_t count) {
    while (count != 0) {
        const std::uint32_t taken = stream.passing ? pass_on(stream, bytes, count) : take_line(stream, bytes, count);
        bytes += taken;
        count -= taken;
    }
    flush(*stream.output);
}

void end_messages(MessageStream& stream) {
    if (stream.used != 0) rewrite_line(stream.line, stream.used, stream.context, *stream.output);
    flush(*stream.output);
}

}  // namespace keston::map
