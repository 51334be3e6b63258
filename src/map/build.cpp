#include "map/build.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/globals.h"
#include "common/report.h"
#include "driver/line_loop.h"
#include "check/clash_check.h"
#include "include/include_finder.h"
#include "map/notes.h"
#include "map/output.h"
#include "map/pairs.h"
#include "platform/absolute_path.h"
#include "platform/file_io.h"
#include "platform/folders.h"
#include "platform/process.h"
#include "platform/replacement.h"
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

// Where the includes of a pair's destination may be made: the folder of a
// folder pair that holds the destination, the outermost, or else the
// destination's own folder.
struct BuildFolder {
    std::string given;     // as the command line names it
    std::string absolute;  // without a separator at its end, but for the root
};

// A file that the run makes: a pair's destination, or an include made
// beside the destination of the file that includes it.
struct MadeFile {
    std::string source;
    std::string destination;
    std::size_t root;  // the pair's file whose includes brought it in
    // For an include: the file whose line includes it, the line, and the name as the line spells it.
    std::size_t includer;
    std::uint64_t line;
    std::string spelled;
    bool changed;  // its bytes differ from what was there
    std::vector<std::size_t> includes;
};

std::vector<MadeFile> g_made;
std::vector<BuildFolder> g_build_folders;  // by root
// The files of the command line's pairs come first.
std::size_t g_root_count = 0;
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

std::string absolute(const std::string& name) {
    char* const path = platform::absolute_path(name.empty() ? "." : name.c_str());
    std::string result = path == nullptr ? name : path;
    std::free(path);
    return result;
}

std::string folder_of(const std::string& name) {
    const std::size_t end = name.find_last_of(SEPARATORS);
    return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

// Paths as the file system compares them.
bool same_path(const char* a, const char* b, std::size_t length) {
#ifdef _WIN32
    return same_name(a, b, length);
#else
    return std::memcmp(a, b, length) == 0;
#endif
}

// Whether the absolute path lies in the absolute folder, or is the folder.
bool lies_within(const std::string& path, const std::string& folder) {
    if (path.size() < folder.size() || !same_path(path.c_str(), folder.c_str(), folder.size())) return false;
    return path.size() == folder.size() || is_separator(path[folder.size()]) || is_separator(folder.back());
}

BuildFolder find_build_folder(const std::string& destination) {
    const std::string path = absolute(destination);
    BuildFolder found{folder_of(destination), absolute(folder_of(destination))};
    if (found.given.empty()) found.given = ".";
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        if (!g_pairs[i].folders) continue;
        const std::string folder = absolute(g_pairs[i].destination);
        if (lies_within(path, folder) && lies_within(found.absolute, folder)) found = {g_pairs[i].destination, folder};
    }
    return found;
}

// The file, made before, that destination names; -1 when none.
std::ptrdiff_t made_as(const std::string& destination) {
    const std::string path = absolute(destination);
    for (std::size_t i = 0; i < g_made.size(); ++i) {
        const std::string other = absolute(g_made[i].destination);
        if (other.size() == path.size() && same_path(other.c_str(), path.c_str(), path.size())) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

// An include line of the file's source: the file it names is made beside
// the file's destination, under the path the line spells, unless it is
// made already. An include that no file answers is left to the assembler.
int add_include(std::size_t index, const char* name, std::uint32_t length) {
    const MadeFile& includer = g_made[index];
    const std::string spelled(name, length);
    char found[INCLUDE_PATH_SIZE];
    char made[INCLUDE_PATH_SIZE];
    if (!find_included_file(includer.source.c_str(), name, length, found)) return 0;
    if (!join_include_path(includer.destination.c_str(), name, length, made)) {
        error_at(includer.source.c_str(), g_line_number, "%s: the path is too long", spelled.c_str());
        return -1;
    }
    const BuildFolder& folder = g_build_folders[includer.root];
    if (!lies_within(absolute(made), folder.absolute)) {
        error_at(includer.source.c_str(), g_line_number, "%s would be made as %s, outside the build folder %s",
                 spelled.c_str(), made, folder.given.c_str());
        return -1;
    }
    const std::ptrdiff_t earlier = made_as(made);
    if (earlier < 0) {
        g_made.push_back({found, made, includer.root, index, g_line_number, spelled, false, {}});
        g_made[index].includes.push_back(g_made.size() - 1);
        return 0;
    }
    const MadeFile& other = g_made[static_cast<std::size_t>(earlier)];
    if (!platform::same_regular_file(other.source.c_str(), found)) {
        error_at(includer.source.c_str(), g_line_number, "%s would be made as %s, which is made of %s", spelled.c_str(),
                 made, other.source.c_str());
        return -1;
    }
    g_made[index].includes.push_back(static_cast<std::size_t>(earlier));
    return 0;
}

// Every include line of the file's source, as read.
int add_includes_of(std::size_t index) {
    g_input = open_input(g_made[index].source.c_str(), TS_BLOCK);
    if (g_input == nullptr) {
        error_at(g_made[index].source.c_str(), 0, "cannot be opened for reading");
        return -1;
    }
    int added = 0;
    g_line_number = 1;
    while (added == 0 && read_line(g_line_a) >= 0) {
        std::uint32_t start = 0;
        std::uint32_t end = 0;
        if (find_include_name(g_line_a, g_line_length, &start, &end)) added = add_include(index, g_line_a + start, end - start);
        ++g_line_number;
    }
    close_stream(g_input);
    g_input = nullptr;
    return added;
}

// A made include never takes the place of a source, of its own or another's.
int check_made_over_sources() {
    for (const MadeFile& file : g_made) {
        if (file.root == static_cast<std::size_t>(&file - g_made.data())) continue;
        for (const MadeFile& other : g_made) {
            if (!platform::same_regular_file(file.destination.c_str(), other.source.c_str())) continue;
            error_at(g_made[file.includer].source.c_str(), file.line, "%s would be made as %s, over the source %s",
                     file.spelled.c_str(), file.destination.c_str(), other.source.c_str());
            return -1;
        }
    }
    return 0;
}

// With -l the label numbers start again in every file, so an include and
// the file that includes it may both make loop_0000: the assembler stops
// at the second, or binds a use in one to the label of the other.
int check_name_clashes() {
    if ((g_switches & F_LOCAL_LABELS) == 0 || g_made.size() == g_root_count) return 0;
    std::vector<std::string> sources;
    for (const MadeFile& file : g_made) {
        bool named = false;
        for (const std::string& source : sources) named = named || platform::same_regular_file(source.c_str(), file.source.c_str());
        if (!named) sources.push_back(file.source);
    }
    flush(g_errors);
    return check::report_clashes_among(sources, g_errors.fd) == 0 ? 0 : -1;
}

int make_all() {
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        if (g_pairs[i].folders) continue;
        const std::size_t root = g_made.size();
        g_made.push_back({g_pairs[i].source, g_pairs[i].destination, root, root, 0, {}, false, {}});
        g_build_folders.push_back(find_build_folder(g_pairs[i].destination));
    }
    g_root_count = g_made.size();
    for (std::size_t i = 0; i < g_made.size(); ++i) {
        if (make_file(g_made[i]) != 0 || add_includes_of(i) != 0) return -1;
    }
    return check_made_over_sources() == 0 && check_name_clashes() == 0 ? 0 : -1;
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

// The includes made are paired with their sources, so that the messages
// about them are mapped too. One whose names do not fit a pair is left out.
int pair_includes() {
    std::uint32_t count = 0;
    for (std::size_t i = g_root_count; i < g_made.size(); ++i) {
        count += g_made[i].source.size() < FILE_NAME_SIZE && g_made[i].destination.size() < FILE_NAME_SIZE ? 1 : 0;
    }
    if (count == 0) return 0;
    std::uint32_t next = g_pair_count;
    if (!add_pairs(count)) {
        note("not enough memory");
        return -1;
    }
    for (std::size_t i = g_root_count; i < g_made.size(); ++i) {
        if (g_made[i].source.size() >= FILE_NAME_SIZE || g_made[i].destination.size() >= FILE_NAME_SIZE) continue;
        std::memcpy(g_pairs[next].source, g_made[i].source.c_str(), g_made[i].source.size() + 1);
        std::memcpy(g_pairs[next].destination, g_made[i].destination.c_str(), g_made[i].destination.size() + 1);
        ++next;
    }
    return 0;
}

}  // namespace

int build_destinations() {
    // An interrupt leaves no staged file behind; the shell tells of it.
    platform::install_interrupt_handler("");
    g_failure_messages_muted = true;
    reset_label_state();
    const bool built = make_all() == 0 && commit_all() == 0 && pair_includes() == 0;
    g_failure_messages_muted = false;
    if (!built) {
        platform::discard_staged();
        remove_made_folders();
    }
    platform::remove_interrupt_handler();
    return built ? 0 : -1;
}

}  // namespace keston::map
