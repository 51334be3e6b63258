#include "check/source_text.h"

#include <algorithm>

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

}  // namespace

int read_source_text(const char* name, SourceText* text) {
    const int fd = platform::open_read(name);
    if (fd < 0) return -1;
    // One byte more than the size shows whether the file has grown meanwhile.
    // A thirty-second more is room for the TABs that joining label scopes
    // puts in, so that the bytes need not move to a copy twice their size:
    // room that is never written to takes no memory.
    const std::size_t size = file_size(fd);
    text->bytes.reserve(size + size / 32 + 1);
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
    return got < 0 ? -1 : 0;
}

bool LineReader::next() {
    const std::size_t from = number_ == 0 ? 0 : end_ + 1;
    if (from >= bytes_.size()) return false;
    const std::size_t end = std::min(bytes_.find('\n', from), bytes_.size());
    if (end == bytes_.size() && bytes_.find_first_not_of('\r', from) == std::string::npos) return false;
    start_ = from;
    end_ = end;
    ++number_;
    return true;
}

std::uint32_t LineReader::store(char* line, std::size_t* positions) const {
    return store_span(bytes_, start_, end_, line, positions);
}

std::uint32_t store_line_at(const std::string& bytes, std::size_t start, char* line, std::size_t* positions) {
    return store_span(bytes, start, std::min(bytes.find('\n', start), bytes.size()), line, positions);
}

std::uint32_t chain_length(const char* line, std::uint32_t stored) {
    return static_cast<std::uint32_t>(std::find(line, line + stored, '\0') - line);
}

StopFinder::StopFinder(LineObserver* observer) : observer_(observer) {
    reset_label_state();
    g_failure_reported = false;
    g_failure_messages_muted = true;
}

StopFinder::~StopFinder() {
    g_failure_messages_muted = false;
}

void StopFinder::feed(const char* bytes, std::size_t length) {
    for (std::size_t at = 0; at < length && stop_ == 0; ++at) {
        if (bytes[at] == '\n') {
            end_line();
        } else if (bytes[at] != '\r') {
            g_line_a[stored_++] = bytes[at];
            // keston stops reading a line this long.
            if (stored_ == TS_LINE_LIMIT) stop_ = number_ + 1;
        }
    }
}

void StopFinder::end_line() {
    g_line_number = ++number_;
    g_line_toggle = 0;
    g_line_a[stored_] = '\0';
    g_line_length = chain_length(g_line_a, stored_);
    stored_ = 0;
    if (transform_line() < 0 || (observer_ != nullptr && !observer_->take_line(number_))) stop_ = number_;
}

std::uint64_t StopFinder::finish() {
    // What follows the last LF is a line when it holds more than CR bytes.
    if (stop_ == 0 && stored_ != 0) end_line();
    return stop_;
}

std::uint64_t find_stop_line(const std::string& bytes) {
    StopFinder finder;
    finder.feed(bytes.data(), bytes.size());
    return finder.finish();
}

}  // namespace keston::check
