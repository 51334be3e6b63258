#include "map/build.h"

#include <cinttypes>
#include <cstring>
#include <string>
#include <vector>

#include "common/globals.h"
#include "common/report.h"
#include "driver/line_loop.h"
#include "map/notes.h"
#include "map/pairs.h"
#include "platform/file_io.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/staged_file.h"
#include "stream/text_stream.h"
#include "transform/local_labels.h"

namespace keston::map {

namespace {

constexpr std::uint32_t COMPARED_CHUNK = 65536;

// The characters that end the folder part of a file name.
#ifdef _WIN32
constexpr char SEPARATORS[] = "/\\";
#else
constexpr char SEPARATORS[] = "/";
#endif

// A file that the run makes: a pair's destination, or an include made
// beside it.
struct MadeFile {
    std::string source;
    std::string destination;
    bool changed;  // its bytes differ from what was there
};

std::vector<MadeFile> g_made;
// The folders that this run created for its destinations, in order.
std::vector<std::string> g_made_folders;

// Whether two files hold the same bytes; false when either cannot be read.
bool same_bytes(const char* first, const char* second) {
    static char first_bytes[COMPARED_CHUNK];
    static char second_bytes[COMPARED_CHUNK];
    const int a = platform::open_read(first);
    const int b = a < 0 ? -1 : platform::open_read(second);
    bool same = b >= 0;
    while (same) {
        const std::int32_t got = platform::read_bytes(a, first_bytes, COMPARED_CHUNK);
        std::int32_t other = 0;
        // A read may return less than asked: the second file is read up to the same count.
        while (got > 0 && other < got) {
            const std::int32_t more =
                platform::read_bytes(b, second_bytes + other, static_cast<std::uint32_t>(got - other));
            if (more <= 0) break;
            other += more;
        }
        if (got <= 0) {
            same = got == 0 && platform::read_bytes(b, second_bytes, 1) == 0;
            break;
        }
        same = other == got && std::memcmp(first_bytes, second_bytes, static_cast<std::size_t>(got)) == 0;
    }
    if (a >= 0) platform::close(a);
    if (b >= 0) platform::close(b);
    return same;
}

// Creates the folders that the destination's name leads through and that
// do not exist yet, as mkdir -p does. 0, or -1.
int make_folders_for(const std::string& destination) {
    for (std::size_t end = destination.find_first_of(SEPARATORS, 1); end != std::string::npos;
         end = destination.find_first_of(SEPARATORS, end + 1)) {
        const std::string folder = destination.substr(0, end);
        if (platform::is_folder(folder.c_str())) continue;
        if (platform::make_folder(folder.c_str()) != 0) return -1;
        g_made_folders.push_back(folder);
    }
    return 0;
}

void remove_made_folders() {
    for (auto folder = g_made_folders.rbegin(); folder != g_made_folders.rend(); ++folder) {
        platform::remove_folder(folder->c_str());
    }
}

// The characters of a source line, CR bytes left out: a line too long is
// named with its length, which keston stops reading at.
std::uint64_t line_characters(const char* source, std::uint64_t line_number) {
    static char bytes[COMPARED_CHUNK];
    const int fd = platform::open_read(source);
    if (fd < 0) return 0;
    std::uint64_t line = 1;
    std::uint64_t characters = 0;
    for (std::int32_t got; line <= line_number && (got = platform::read_bytes(fd, bytes, COMPARED_CHUNK)) > 0;) {
        for (std::int32_t i = 0; i < got && line <= line_number; ++i) {
            if (bytes[i] == '\n') {
                ++line;
            } else if (line == line_number && bytes[i] != '\r') {
                ++characters;
            }
        }
    }
    platform::close(fd);
    return characters;
}

// Where keston stopped, in the compilers' form.
void report_stop_in(const MadeFile& file) {
    const char* const source = file.source.c_str();
    const std::uint64_t line = g_line_number;
    constexpr unsigned longest_line = TS_LINE_LIMIT - 1;
    switch (g_run_stop) {
        case RunStop::NONE:
            error_at(file.destination.c_str(), 0, "cannot be written");
            return;
        case RunStop::LONG_LINE:
            error_at(source, line, "line too long (%" PRIu64 " characters, at most %u)",
                     line_characters(source, line), longest_line);
            return;
        case RunStop::LONG_AFTER_TABS:
            error_at(source, line, "line too long once its tabs are expanded (at most %u characters)", longest_line);
            return;
        case RunStop::LONG_AFTER_LABELS:
            error_at(source, line, "line too long once its local labels are renamed (at most %u characters)",
                     longest_line);
            return;
        case RunStop::LABEL_NAMES_FULL:
            error_at(source, line, "too many local label names in one scope");
            return;
        case RunStop::LONG_LABEL_NAME:
            error_at(source, line, "local label name too long (at most %u characters)", MAX_LABEL_NAME);
            return;
        case RunStop::READ_ERROR:
            error_at(source, line, "read error");
            return;
    }
}

// Makes the file under a temporary name beside its destination; the
// temporary goes again at once where the destination holds its bytes already.
int make_file(MadeFile& file) {
    const char* const destination = file.destination.c_str();
    if (make_folders_for(file.destination) != 0) {
        error_at(destination, 0, "its folder cannot be created");
        return -1;
    }
    const char* temporary = nullptr;
    const int fd = platform::stage_file(destination, &temporary);
    if (fd < 0) {
        error_at(destination, 0, "cannot be written");
        return -1;
    }
    const int made = make_destination(file.source.c_str(), fd);
    if (made == SOURCE_NOT_OPENED) error_at(file.source.c_str(), 0, "cannot be opened for reading");
    if (made == RUN_FAILED) report_stop_in(file);
    if (made != MADE) return -1;
    file.changed = !same_bytes(temporary, destination);
    if (!file.changed) platform::unstage_last();
    return 0;
}

int make_all() {
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        if (!g_pairs[i].folders) g_made.push_back({g_pairs[i].source, g_pairs[i].destination, false});
    }
    for (MadeFile& file : g_made) {
        if (make_file(file) != 0) return -1;
    }
    return 0;
}

// The changed files go in place, the last made first.
int commit_all() {
    const std::size_t left = platform::commit_staged();
    if (left == 0) return 0;
    std::size_t changed = 0;
    for (const MadeFile& file : g_made) {
        if (file.changed && ++changed == left) error_at(file.destination.c_str(), 0, "cannot be written");
    }
    return -1;
}

}  // namespace

int build_destinations() {
    // An interrupt leaves no staged file behind; the shell tells of it.
    platform::install_interrupt_handler("");
    g_failure_messages_muted = true;
    reset_label_state();
    const bool built = make_all() == 0 && commit_all() == 0;
    g_failure_messages_muted = false;
    if (!built) {
        platform::discard_staged();
        remove_made_folders();
    }
    platform::remove_interrupt_handler();
    return built ? 0 : -1;
}

}  // namespace keston::map
