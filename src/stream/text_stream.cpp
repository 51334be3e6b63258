#include "stream/text_stream.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "common/byte_scan.h"
#include "common/globals.h"
#include "common/report.h"
#include "platform/file_io.h"
#include "platform/replacement.h"

namespace keston {

TextStream* g_input = nullptr;
TextStream* g_output = nullptr;

namespace {

// The data area is followed by SCAN_SLACK zeroed bytes, which the block-at-a-time
// line reader may look at (and ignore) behind the loaded bytes.
TextStream* allocate_stream(std::uint32_t capacity) {
    return static_cast<TextStream*>(std::calloc(1, sizeof(TextStream) + capacity + SCAN_SLACK));
}

void init_stream(TextStream* stream, int fd, std::uint32_t capacity, std::uint32_t mode) {
    stream->fd = fd;
    stream->cursor = stream->data();
    stream->end = mode == TS_WRITE ? stream->data() + capacity : stream->data();
    stream->capacity = capacity;
    stream->mode = mode;
}

// A whole file is read in pieces of this size, so that an interrupt, which
// a read of a regular file does not break, takes effect soon.
constexpr std::uint32_t LOAD_PIECE = 16u << 20;

// Reads until the file is in or the system has no more, and closes it. After
// a read that failed the stream is marked, and the line reader reports the
// failure in its place in the text, where the loaded bytes end: a later read
// that succeeds would not make the text whole.
void load_whole(TextStream* stream) {
    while (stream->end < stream->data() + stream->capacity) {
        const auto rest = static_cast<std::uint32_t>(stream->data() + stream->capacity - stream->end);
        const std::int32_t got = platform::read_bytes(stream->fd, stream->end, std::min(rest, LOAD_PIECE));
        if (got < 0) stream->mode |= TS_LOAD_FAILED;
        if (got <= 0) break;
        stream->end += got;
    }
    platform::close(stream->fd);
    stream->fd = 0;
}

TextStream* open_whole_file(int fd) {
    const std::int32_t length = platform::seek(fd, 0, platform::SEEK_FROM_END);
    if (length < 0 || platform::seek(fd, 0, platform::SEEK_FROM_START) < 0) {
        platform::close(fd);
        return nullptr;
    }
    TextStream* stream = allocate_stream(static_cast<std::uint32_t>(length));
    if (stream == nullptr) {
        platform::close(fd);
        return nullptr;
    }
    init_stream(stream, fd, static_cast<std::uint32_t>(length), 0);
    load_whole(stream);
    return stream;
}

std::int32_t report_read_error() {
    report_stop(RunStop::READ_ERROR);
    return TS_READ_FAILED;
}

// 1 when bytes were loaded, 0 at the end of the input, TS_READ_FAILED after
// the message of a read that failed.
std::int32_t refill(TextStream* stream) {
    stream->cursor = stream->end = stream->data();
    if (stream->fd == 0) return (stream->mode & TS_LOAD_FAILED) != 0 ? report_read_error() : 0;
    const std::int32_t got = platform::read_bytes(stream->fd, stream->data(), stream->capacity);
    if (got < 0) return report_read_error();
    stream->end += got;
    return got == 0 ? 0 : 1;
}

std::int32_t report_long_line() {
    report_stop(RunStop::LONG_LINE);
    return -1;
}

std::int32_t finish_line(char* buffer, std::uint32_t count, std::uint32_t before_nul) {
    buffer[count] = '\0';
    g_line_length = before_nul < count ? before_nul : count;
    return static_cast<std::int32_t>(count);
}

}  // namespace

TextStream* open_input(const char* name, std::uint32_t size) {
    if (name == nullptr) return nullptr;
    const int fd = platform::open_read(name);
    if (fd < 0) return nullptr;
    if (size == 0) return open_whole_file(fd);
    TextStream* stream = allocate_stream(size);
    if (stream == nullptr) {
        platform::close(fd);
        return nullptr;
    }
    init_stream(stream, fd, size, 0);
    return stream;
}

namespace {

// The buffer comes first, so that a lack of memory leaves the file system alone.
TextStream* open_write_stream(const char* name, int (*create)(const char*)) {
    if (name == nullptr) return nullptr;
    TextStream* stream = allocate_stream(TS_BLOCK);
    if (stream == nullptr) return nullptr;
    const int fd = create(name);
    if (fd < 0) {
        std::free(stream);
        return nullptr;
    }
    init_stream(stream, fd, TS_BLOCK, TS_WRITE);
    return stream;
}

}  // namespace

TextStream* open_output(const char* name) {
    return open_write_stream(name, platform::create_write);
}

TextStream* open_replacement(const char* name) {
    return open_write_stream(name, platform::create_replacement);
}

TextStream* open_output_descriptor(int fd) {
    TextStream* stream = allocate_stream(TS_BLOCK);
    if (stream == nullptr) {
        platform::close(fd);
        return nullptr;
    }
    init_stream(stream, fd, TS_BLOCK, TS_WRITE);
    return stream;
}

namespace {

// Copies the loaded bytes up to the next LF span by span, leaving out CR bytes.
// The line stays within TS_LINE_LIMIT - 1 stored bytes; g_line_length is set
// to the bytes before its first NUL. Handles every case: chunk ends, NUL and
// lone CR bytes, lines that are too long.
std::int32_t read_line_spans(char* buffer) {
    TextStream* const stream = g_input;
    std::uint32_t count = 0;
    std::uint32_t before_nul = TS_LINE_LIMIT;
    for (;;) {
        if (stream->cursor >= stream->end) {
            const std::int32_t refilled = refill(stream);
            if (refilled == TS_READ_FAILED) return TS_READ_FAILED;
            if (refilled == 0) break;
        }
        const auto available = static_cast<std::uint32_t>(stream->end - stream->cursor);
        const std::uint32_t room = TS_LINE_LIMIT - count;
        const auto run = static_cast<std::uint32_t>(
            scan_until(stream->cursor, std::min(available, room), buffer + count, '\n', '\r', '\0'));
        stream->cursor += run;
        count += run;
        if (count == TS_LINE_LIMIT) return report_long_line();
        if (run == available) continue;
        const char c = *stream->cursor++;
        if (c == '\r') {
            // The usual CR LF ends the line at once; any other CR is just dropped.
            if (stream->cursor == stream->end || *stream->cursor != '\n') continue;
            ++stream->cursor;
        }
        if (c != '\0') return finish_line(buffer, count, before_nul);
        if (before_nul == TS_LINE_LIMIT) before_nul = count;
        buffer[count++] = '\0';
        if (count == TS_LINE_LIMIT) return report_long_line();
    }
    return count == 0 ? -1 : finish_line(buffer, count, before_nul);
}

}  // namespace

// The usual line lies whole in the loaded bytes and ends in LF or CR LF, with
// no NUL and no other CR: one scan copies it. The scan stops at the longest
// line allowed, so the byte it stops at decides even when it found nothing.
// Anything else is left to the span-by-span reader, which starts over from
// the same place.
std::int32_t read_line(char* buffer) {
    constexpr std::uint32_t longest_line = TS_LINE_LIMIT - 1;
    TextStream* const stream = g_input;
    const char* const cursor = stream->cursor;
    const auto available = static_cast<std::uint32_t>(stream->end - cursor);
    const auto run =
        static_cast<std::uint32_t>(scan_until(cursor, std::min(available, longest_line), buffer, '\n', '\r', '\0'));
    const std::uint32_t after = run + 1;
    if (after < available) {
        const bool lf = cursor[run] == '\n';
        if (lf || (cursor[run] == '\r' && cursor[after] == '\n')) {
            stream->cursor += lf ? after : after + 1;
            buffer[run] = '\0';
            g_line_length = run;
            return static_cast<std::int32_t>(run);
        }
    }
    return read_line_spans(buffer);
}

namespace {

// The most bytes, CR included, that a line taken into a run holds before its
// LF: a line of the longest length allowed with a CR before its LF goes the
// way of read_line, which tells it from one that is too long.
constexpr std::uint32_t LONGEST_RUN_LINE = TS_LINE_LIMIT - 1;

}  // namespace

// SPAN_BYTES at a time: the LFs end lines, as long as every CR stands right
// before an LF and no NUL turns up. The first LF without a CR before it ends
// the run with its line; anything else that a line may not hold for the run
// ends it before that line. A line that might come near the limit, and the
// last bytes loaded, which fill no span, are left to read_line.
LineRun take_line_run() {
    TextStream* const stream = g_input;
    char* const start = stream->cursor;
    char* line = start;  // the first line not yet in the run
    LineRun run{start, 0, 0, false};
    SpanBits cr_before = 0;  // bit 0: the span before ended in a CR
    for (char* at = start; stream->end - at >= static_cast<std::ptrdiff_t>(SPAN_BYTES); at += SPAN_BYTES) {
        const auto [lf, cr, nul] = span_flags(at, '\n', '\r', '\0');
        // A NUL, an LF with no CR before it, or a CR with no LF behind it.
        const SpanBits stops = nul | (((cr << 1) | cr_before) ^ lf);
        if (stops != 0) {
            const int stop = std::countr_zero(stops);
            const SpanBits ended = lf & ((SpanBits{1} << stop) - 1);
            run.lines += count_flags(ended);
            if (ended != 0) line = at + std::bit_width(ended);
            if (((lf >> stop) & 1) == 0) break;
            run.length = static_cast<std::uint32_t>(at + stop - start);
            run.lines += 1;
            run.bare_lf_end = true;
            stream->cursor = at + stop + 1;
            return run;
        }
        cr_before = cr >> (SPAN_BYTES - 1);
        if (lf != 0) {
            run.lines += count_flags(lf);
            line = at + std::bit_width(lf);
        } else if (at + 2 * SPAN_BYTES - line > static_cast<std::ptrdiff_t>(LONGEST_RUN_LINE)) {
            // Every line that ends in the next span stays within the limit.
            break;
        }
    }
    stream->cursor = line;
    run.length = static_cast<std::uint32_t>(line - start);
    return run;
}

std::int32_t write_through_blocks(TextStream* stream, std::uint32_t count, const char* bytes) {
    while (count != 0) {
        if (stream->cursor >= stream->end) {
            stream->cursor = stream->data();
            if (platform::write_bytes(stream->fd, stream->data(), stream->capacity) !=
                static_cast<std::int32_t>(stream->capacity)) {
                return TS_ERR_WRITE;
            }
        }
        const std::uint32_t room = static_cast<std::uint32_t>(stream->end - stream->cursor);
        const std::uint32_t piece = count < room ? count : room;
        copy_bytes(stream->cursor, bytes, piece);
        stream->cursor += piece;
        bytes += piece;
        count -= piece;
    }
    return 0;
}

namespace {

std::int32_t report_flush_error() {
    report_failure("\n\r?KESTON-I-Write file error while flushing data\n\r");
    return TS_ERR_WRITE;
}

}  // namespace

std::int32_t flush_stream(TextStream* stream) {
    if ((stream->mode & TS_WRITE) == 0 || stream->cursor == stream->data()) return 0;
    const std::uint32_t length = static_cast<std::uint32_t>(stream->cursor - stream->data());
    if (platform::write_bytes(stream->fd, stream->data(), length) != static_cast<std::int32_t>(length)) {
        return report_flush_error();
    }
    stream->cursor = stream->data();
    return 0;
}

std::int32_t close_stream(TextStream* stream) {
    std::int32_t result = 0;
    if (stream->fd != 0) {
        const bool writes = (stream->mode & TS_WRITE) != 0;
        if (writes) result = flush_stream(stream);
        if (platform::close(stream->fd) != 0 && writes && result == 0) result = report_flush_error();
    }
    std::free(stream);
    return result;
}

}  // namespace keston
