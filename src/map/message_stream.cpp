#include "map/message_stream.h"

#include <cstring>

#include "map/map_command_line.h"
#include "map/message_form.h"
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

// Rewrites the lines of fasm's message held so far; error_line (length
// characters) is its "error:" line, or null where none came.
void release_block(MessageStream& stream, const char* error_line, std::uint32_t length) {
    stream.context.fasm_error = {error_line, error_line == nullptr ? 0 : length};
    std::uint32_t at = 0;
    while (at < stream.held) {
        const std::uint32_t line_length = to_line_end(stream.block + at, stream.held - at);
        rewrite_line(stream.block + at, line_length, stream.context, *stream.output);
        at += line_length;
    }
    stream.context.fasm_error = {nullptr, 0};
    stream.held = 0;
}

// The line of a reference in fasm's form, with which its message begins;
// line ends with LF.
bool opens_fasm_message(const char* line, std::uint32_t length) {
    --length;
    if (length != 0 && line[length - 1] == '\r') --length;
    MessageForm form;
    return read_message_form(line, length, &form) && form.fasm_header;
}

// A complete line: rewritten, or with -g held while it belongs to fasm's
// message, which goes out whole once its "error:" line has come.
void complete_line(MessageStream& stream) {
    const char* const line = stream.line;
    const std::uint32_t length = stream.used;
    stream.used = 0;
    if (!g_compiler_form || (stream.held == 0 && !opens_fasm_message(line, length))) {
        rewrite_line(line, length, stream.context, *stream.output);
        return;
    }
    if (length > LONGEST_MAPPED_LINE - stream.held) {
        release_block(stream, nullptr, 0);
        if (!opens_fasm_message(line, length)) {
            rewrite_line(line, length, stream.context, *stream.output);
            return;
        }
    }
    std::memcpy(stream.block + stream.held, line, length);
    stream.held += length;
    if (length >= 6 && std::memcmp(line, FASM_MESSAGE_END, 6) == 0) release_block(stream, line, length);
}

// A line that fills the buffer and goes on passes as it stands. So does
// fasm's "error:" line, which then ends the lines that belong to its reference.
void give_up_line(MessageStream& stream) {
    if (stream.held != 0) release_block(stream, nullptr, 0);
    put(*stream.output, stream.line, stream.used);
    if (std::memcmp(stream.line, FASM_MESSAGE_END, 6) == 0) stream.context.continuation = nullptr;
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
    if (bytes[taken - 1] == '\n') complete_line(stream);
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
    if (stream.held != 0) release_block(stream, nullptr, 0);
    if (stream.used != 0) rewrite_line(stream.line, stream.used, stream.context, *stream.output);
    flush(*stream.output);
}

}  // namespace keston::map
