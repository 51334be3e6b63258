#include "check/source_rewrites.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>

#include "check/report.h"
#include "platform/file_io.h"
#include "platform/replacement.h"

namespace keston::check {

namespace {

enum class Part : std::uint8_t { rewritten, refused, dropped };

// By order on the command line; empty without -x.
std::vector<Part> g_parts;
// Set by the first refusal: nothing is rewritten then.
bool g_refused = false;

// A source whose new bytes wait, in the order of the waiting replacements.
struct Staged {
    std::uint32_t order;
    const char* name;
    std::string waiting_name;
};
std::vector<Staged> g_staged;

// Memory too short for the plan of a source: the run ends there, every
// waiting file removed, rather than abort with no word on the source.
[[noreturn]] void out_of_memory() {
    platform::discard_replacement();
    report_unchecked(0, "not rewritten: out of memory");
    std::_Exit(CHECK_INCOMPLETE);
}

void begin_note(const Staged& staged) {
    report_begin_file(staged.name, staged.order);
}

// Every waiting file goes, each source with the reason.
void drop_staged(const char* reason) {
    platform::discard_replacement();
    for (const Staged& staged : g_staged) {
        begin_note(staged);
        report_unchecked(0, "not rewritten: %s", reason);
    }
    g_staged.clear();
}

void note_unreplaced(std::size_t index, platform::Unreplaced why, const char* kept_as) {
    using platform::Unreplaced;
    begin_note(g_staged[index]);
    switch (why) {
        case Unreplaced::target_changed:
            report_unchecked(0, "not rewritten: the file was moved or replaced meanwhile");
            break;
        case Unreplaced::original_not_kept:
            report_unchecked(0, "not rewritten: it cannot take a second name while the sources are replaced");
            break;
        case Unreplaced::not_renamed:
            report_unchecked(0, "not rewritten: write error");
            break;
        case Unreplaced::held_back:
            report_unchecked(0, "not rewritten: another source cannot be rewritten");
            break;
        case Unreplaced::put_back:
            report_unchecked(0, "not rewritten: put back as it was, as another source could not be replaced");
            break;
        case Unreplaced::not_put_back:
            report_unchecked(0, "rewritten, though another source could not be; the original is %s", kept_as);
            break;
    }
}

// The new bytes of the source being rewritten gather here on their way to
// its waiting file.
constexpr std::size_t WRITE_BUFFER_SIZE = 64 * 1024;
char g_write_buffer[WRITE_BUFFER_SIZE];
std::size_t g_buffered = 0;
int g_waiting_fd = -1;
bool g_write_failed = false;

void flush_write_buffer() {
    if (!g_write_failed && g_buffered != 0) {
        const auto length = static_cast<std::uint32_t>(g_buffered);
        g_write_failed =
            platform::write_bytes(g_waiting_fd, g_write_buffer, length) != static_cast<std::int32_t>(length);
    }
    g_buffered = 0;
}

}  // namespace

void drop_repeated_sources(const std::vector<std::string>& sources) {
    std::set_new_handler(out_of_memory);
    g_parts.assign(sources.size(), Part::rewritten);
    std::set<platform::RegularFileKey> seen;
    for (std::uint32_t order = 0; order < sources.size(); ++order) {
        if (sources[order].empty()) continue;
        report_begin_file(sources[order].c_str(), order);
        platform::RegularFileKey key{};
        if (!platform::regular_file_key(sources[order].c_str(), &key)) {
            refuse_rewrite(order, "not a regular file");
            g_parts[order] = Part::dropped;
        } else if (!seen.insert(key).second) {
            g_parts[order] = Part::dropped;
        } else if (platform::regular_file_links(sources[order].c_str()) > 1) {
            refuse_rewrite(order, "it has other names (hard links), which a new file in its place would part it from");
        }
    }
}

bool is_checked(std::uint32_t order) {
    return order >= g_parts.size() || g_parts[order] != Part::dropped;
}

bool may_rewrite(std::uint32_t order) {
    return g_parts[order] == Part::rewritten;
}

void refuse_rewrite(std::uint32_t order, const char* format, ...) {
    char reason[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(reason, sizeof reason, format, arguments);
    va_end(arguments);
    report_unchecked(0, "not rewritten: %s", reason);
    g_parts[order] = Part::refused;
    g_refused = true;
}

bool begin_rewrite(const char* name, std::uint32_t order) {
    g_waiting_fd = platform::create_replacement(name);
    if (g_waiting_fd < 0) {
        refuse_rewrite(order, "it cannot be replaced with its access and settings kept");
        return false;
    }
    g_buffered = 0;
    g_write_failed = false;
    return true;
}

void write_rewrite(const char* bytes, std::size_t length) {
    while (length != 0) {
        if (g_buffered == WRITE_BUFFER_SIZE) flush_write_buffer();
        const std::size_t piece = std::min(length, WRITE_BUFFER_SIZE - g_buffered);
        std::memcpy(g_write_buffer + g_buffered, bytes, piece);
        g_buffered += piece;
        bytes += piece;
        length -= piece;
    }
}

void end_rewrite(const char* name, std::uint32_t order) {
    flush_write_buffer();
    const bool closed = platform::close(g_waiting_fd) == 0;
    g_waiting_fd = -1;
    if (g_write_failed || !closed || platform::complete_replacement() != 0) {
        // The run rewrites nothing now: every waiting file goes at once.
        platform::discard_replacement();
        refuse_rewrite(order, "write error");
        return;
    }
    g_staged.push_back({order, name, platform::replacement_name()});
}

void settle_rewrites() {
    std::set_new_handler(nullptr);
    if (!g_refused) return;
    for (const Staged& staged : g_staged) drop_held_lines(staged.order);
    drop_staged("another source cannot be rewritten");
}

const char* checked_name(const char* name, std::uint32_t order) {
    const auto staged =
        std::find_if(g_staged.begin(), g_staged.end(), [order](const Staged& s) { return s.order == order; });
    return staged == g_staged.end() ? name : staged->waiting_name.c_str();
}

void commit_rewrites(bool report_written) {
    if (!report_written) {
        drop_staged("the report could not be written");
        return;
    }
    platform::commit_replacements(note_unreplaced);
    g_staged.clear();
}

}  // namespace keston::check
