// Buffered file streams: the source read line by line, the destination
// written in whole blocks.
#pragma once

#include <cstdint>

#include "common/byte_scan.h"

namespace keston {

constexpr std::uint32_t TS_BLOCK = 16384;  // chunk size of reads, block size of writes
constexpr std::uint32_t TS_WRITE = 1;      // mode bit of a write stream
// Mode bit of a whole-file read stream whose loading met a failed read: the
// reader reports the failure where the loaded bytes end.
constexpr std::uint32_t TS_LOAD_FAILED = 2;
constexpr std::int32_t TS_ERR_WRITE = static_cast<std::int32_t>(0xFF000100u);

// The result of read_line after a read that failed, with its message.
constexpr std::int32_t TS_READ_FAILED = -2;

// Stored bytes that make a source line too long.
constexpr std::uint32_t TS_LINE_LIMIT = 1023;

// One heap block: these fields, directly followed by the data area.
struct TextStream {
    std::int32_t fd;  // 0: no descriptor (a loaded whole-file stream)
    char* cursor;     // read: next byte to deliver; write: next free byte
    char* end;        // read: one past the loaded bytes; write: data() + capacity
    std::uint32_t capacity;
    std::uint32_t mode;

    char* data() { return reinterpret_cast<char*>(this + 1); }
};

// The two streams of a run; main owns them from open to close.
extern TextStream* g_input;
extern TextStream* g_output;

// size 0 loads the whole file at once; any other size is the chunk size.
// Null on any failure, without a message.
TextStream* open_input(const char* name, std::uint32_t size);

// Creates or truncates name. The buffer is allocated first, so a lack of
// memory never truncates an existing file. Null on any failure, without a message.
TextStream* open_output(const char* name);

// A write stream on a new file that is to replace the regular file name
// reaches (platform/replacement.h), which stays as it is meanwhile. Null on
// any failure, without a message, and with nothing left on disk.
TextStream* open_replacement(const char* name);

// A write stream on a descriptor that is already open (never 0), which the
// stream then owns. Null, with the descriptor closed, when there is no memory.
TextStream* open_output_descriptor(int fd);

// Next line of g_input into buffer (LINE_BUFFER_SIZE bytes), CR bytes dropped
// and NUL-terminated; g_line_length gets the bytes before its first NUL. The
// count of stored bytes; -1 at end of input or after the too-long message,
// TS_READ_FAILED after the message of a failed read. A line that a failed
// read cuts short is not delivered.
std::int32_t read_line(char* buffer);

// Whole lines of g_input's loaded bytes that read_line would deliver as they
// stand: each holds no NUL and no CR but the one right before its LF, and
// none is too long. All but the last end in CR LF, already the destination's
// line end; when the last ends in a bare LF, that LF is not in the span and
// bare_lf_end is set.
struct LineRun {
    const char* bytes;
    std::uint32_t length;
    std::uint32_t lines;
    bool bare_lf_end;
};

// The run at the cursor, which moves past it. No line (0 lines) when the next
// one needs read_line: one with a NUL or a stray CR, one that is too long,
// or one that the loaded bytes hold only in part.
LineRun take_line_run();

// write_bytes for any count, copying a block at a time: the part of
// write_bytes that writes full blocks on the way, and the way for runs of
// lines, which the library's copy takes an instruction a byte for.
std::int32_t write_through_blocks(TextStream* stream, std::uint32_t count, const char* bytes);

// Appends count bytes, which lie in a buffer with SCAN_SLACK bytes of room
// behind them, as a line buffer has; a full buffer is written when more bytes
// arrive. 0, or TS_ERR_WRITE when a block was not written whole. Inline for
// the usual case of bytes that fit the buffer: they are copied a whole block
// at a time, into the stream's own room behind its buffer at the end.
inline std::int32_t write_bytes(TextStream* stream, std::uint32_t count, const char* bytes) {
    if (count > static_cast<std::uint32_t>(stream->end - stream->cursor)) {
        return write_through_blocks(stream, count, bytes);
    }
    copy_blocks(stream->cursor, bytes, count);
    stream->cursor += count;
    return 0;
}

// Writes what a write stream holds; TS_ERR_WRITE with a message when that fails.
std::int32_t flush_stream(TextStream* stream);

// Flushes a write stream, closes the descriptor and frees the block. 0, or
// TS_ERR_WRITE after the flush's message when the flush or the close of a
// write stream failed (a file system may report a failed write only at the
// close); the message goes out once.
std::int32_t close_stream(TextStream* stream);

}  // namespace keston
