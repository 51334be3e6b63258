#include "map/made_files.h"

#include <cinttypes>
#include <cstring>

#include "common/globals.h"
#include "common/report.h"
#include "driver/line_loop.h"
#include "map/notes.h"
#include "map/pairs.h"
#include "platform/file_io.h"
#include "platform/folders.h"
#include "platform/staged_file.h"
#include "stream/text_stream.h"
#include "transform/local_labels.h"

namespace keston::map {

std::vector<MadeFile> g_made;
std::size_t g_root_count = 0;

namespace {

constexpr std::uint32_t COMPARED_CHUNK = 65536;

// The folders that this run created for its files, in order.
std::vector<std::string> g_made_folders;
// The destinations of the staged files, in the order staged.
std::vector<std::string> g_staged;

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
    for (std::size_t end = destination.find_first_of(FOLDER_SEPARATORS, 1); end != std::string::npos;
         end = destination.find_first_of(FOLDER_SEPARATORS, end + 1)) {
        const std::string folder = destination.substr(0, end);
        if (platform::is_folder(folder.c_str())) continue;
        if (platform::make_folder(folder.c_str()) != 0) return -1;
        g_made_folders.push_back(folder);
    }
    return 0;
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
            error_at(source, line, "line too long (%" PRIu64 " characters, at most %u)", line_characters(source, line),
                     longest_line);
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

// Stages an empty file for destination, its folders created first: the
// descriptor, or -1 after the message.
int stage(const std::string& destination, const char** temporary) {
    if (make_folders_for(destination) != 0) {
        error_at(destination.c_str(), 0, "its folder cannot be created");
        return -1;
    }
    const int fd = platform::stage_file(destination.c_str(), temporary);
    if (fd < 0) {
        error_at(destination.c_str(), 0, "cannot be written");
        return -1;
    }
    g_staged.push_back(destination);
    return fd;
}

// The staged file stays where its bytes are new.
bool keep_if_changed(const char* temporary, const std::string& destination) {
    if (!same_bytes(temporary, destination.c_str())) return true;
    platform::unstage_last();
    g_staged.pop_back();
    return false;
}

}  // namespace

int make_file(MadeFile& file) {
    const char* temporary = nullptr;
    const int fd = stage(file.destination, &temporary);
    if (fd < 0) return -1;
    const int made = make_destination(file.source.c_str(), fd);
    if (made == SOURCE_NOT_OPENED) error_at(file.source.c_str(), 0, "cannot be opened for reading");
    if (made == RUN_FAILED) report_stop_in(file);
    if (made != MADE) return -1;
    file.changed = keep_if_changed(temporary, file.destination);
    return 0;
}

int stage_bytes(const std::string& destination, const std::string& bytes, bool* changed) {
    const char* temporary = nullptr;
    const int fd = stage(destination, &temporary);
    if (fd < 0) return -1;
    const bool written = platform::write_bytes(fd, bytes.data(), static_cast<std::uint32_t>(bytes.size())) ==
                         static_cast<std::int32_t>(bytes.size());
    if (platform::close(fd) != 0 || !written) {
        error_at(destination.c_str(), 0, "cannot be written");
        return -1;
    }
    *changed = keep_if_changed(temporary, destination);
    return 0;
}

int commit_made_files() {
    const std::size_t left = platform::commit_staged();
    if (left == 0) return 0;
    error_at(g_staged[left - 1].c_str(), 0, "cannot be written");
    return -1;
}

void remove_made_folders() {
    for (auto folder = g_made_folders.rbegin(); folder != g_made_folders.rend(); ++folder) {
        platform::remove_folder(folder->c_str());
    }
}

}  // namespace keston::map
