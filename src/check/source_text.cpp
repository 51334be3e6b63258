#include "check/source_text.h"

#include <algorithm>
#include <cstring>

#include "common/globals.h"
#include "common/report.h"
#include "platform/file_io.h"
#include "stream/text_stream.h"
#include "transform/chain.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

constexpr std::uint32_t IO_CHUNK = 1u << 20;

// The file's size where it can be told, so that its bytes take no more
// room than they need; 0 otherwise.
std::size_t file_size(int fd) {
    const std::int32_t size = platform::seek(fd, 0, platform::SEEK_FROM_END);
    if (platform::seek(fd, 0, platform::SEEK_FROM_START) != 0) return 0;
    return size > 0 ? static_cast<std::size_t>(size) : 0;
}

// The bytes from start up to end as keston stores a line.
std::uint32_t store_span(const std::string& bytes, std::size_t start, std::size_t end, char* line,
                         std::size_t* positions) {
    std::uint32_t stored = 0;
    for (std::size_t at = start; at < end && stored < TS_LINE_LIMIT; ++at) {
        if (bytes[at] == '\r') continue;
        if (positions != nullptr) positions[stored] = at;
        line[stored++] = bytes[at];
    }
    line[stored] = '\0';
    return stored;
}

std::size_t line_end(const SourceText& text, std::size_t i) {
    if (i + 1 < text.starts.size()) return text.starts[i + 1] - 1;
    return std::min(text.bytes.find('\n', text.starts[i]), text.bytes.size());
}

}  // namespace

int read_source_text(const char* name, SourceText* text) {
    const int fd = platform::open_read(name);
    if (fd < 0) return -1;
    // One byte more than the size shows whether the file has grown meanwhile.
    text->bytes.reserve(file_size(fd) + 1);
    std::int32_t got = 0;
    for (std::size_t used = 0;; used += static_cast<std::size_t>(got)) {
        const std::size_t room = std::max<std::size_t>(text->bytes.capacity() - used, 1);
        const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(room, IO_CHUNK));
        text->bytes.resize(used + piece);
        got = platform::read_bytes(fd, text->bytes.data() + used, piece);
        if (got <= 0) {
            text->bytes.resize(used);
            break;
        }
        text->bytes.resize(used + static_cast<std::size_t>(got));
    }
    platform::close(fd);
    if (got < 0) return -1;
    split_lines(text);
    return 0;
}

void split_lines(SourceText* text) {
    const std::string& bytes = text->bytes;
    text->starts.clear();
    text->starts.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            end = bytes.size();
            if (bytes.find_first_not_of('\r', start) == std::string::npos) break;
        }
        text->starts.push_back(start);
        start = end + 1;
    }
}

std::uint32_t store_line(const SourceText& text, std::size_t i, char* line, std::size_t* positions) {
    return store_span(text.bytes, text.starts[i], line_end(text, i), line, positions);
}

std::uint32_t chain_length(const char* line, std::uint32_t stored) {
    return static_cast<std::uint32_t>(std::find(line, line + stored, '\0') - line);
}

std::uint64_t find_stop_line(const std::string& bytes) {
    reset_label_state();
    g_failure_reported = false;
    g_failure_messages_muted = true;
    std::uint64_t stop = 0;
    std::uint64_t number = 0;
    for (std::size_t start = 0; start < bytes.size() && stop == 0;) {
        const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
        if (end == bytes.size() && bytes.find_first_not_of('\r', start) == std::string::npos) break;
        g_line_number = ++number;
        g_line_toggle = 0;
        const std::uint32_t stored = store_span(bytes, start, end, g_line_a, nullptr);
        g_line_length = chain_length(g_line_a, stored);
        if (stored == TS_LINE_LIMIT || transform_line() < 0) stop = g_line_number;
        start = end + 1;
    }
    g_failure_messages_muted = false;
    return stop;
}

}  // namespace keston::check
