#include "map/made_includes.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "check/clash_check.h"
#include "common/globals.h"
#include "include/include_finder.h"
#include "map/made_files.h"
#include "map/notes.h"
#include "map/output.h"
#include "map/pairs.h"
#include "platform/absolute_path.h"
#include "platform/replacement.h"
#include "stream/text_stream.h"

namespace keston::map {

namespace {

// Where the includes of a pair's destination may be made: the folder of a
// folder pair that holds the destination, the outermost, or else the
// destination's own folder.
struct BuildFolder {
    std::string given;     // as the command line names it
    std::string absolute;  // without a separator at its end, but for the root
};

std::vector<BuildFolder> g_build_folders;  // by root

std::string absolute(const std::string& name) {
    char* const path = platform::absolute_path(name.empty() ? "." : name.c_str());
    std::string result = path == nullptr ? name : path;
    std::free(path);
    return result;
}

std::string folder_of(const std::string& name) {
    const std::size_t end = name.find_last_of(FOLDER_SEPARATORS);
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
        for (const std::string& source : sources)
            named = named || platform::same_regular_file(source.c_str(), file.source.c_str());
        if (!named) sources.push_back(file.source);
    }
    flush(g_errors);
    return check::report_clashes_among(sources, g_errors.fd) == 0 ? 0 : -1;
}

}  // namespace

void add_pair_files() {
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        if (g_pairs[i].folders) continue;
        const std::size_t root = g_made.size();
        g_made.push_back({g_pairs[i].source, g_pairs[i].destination, root, root, 0, {}, false, {}});
        g_build_folders.push_back(find_build_folder(g_pairs[i].destination));
    }
    g_root_count = g_made.size();
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
        if (find_include_name(g_line_a, g_line_length, &start, &end))
            added = add_include(index, g_line_a + start, end - start);
        ++g_line_number;
    }
    close_stream(g_input);
    g_input = nullptr;
    return added;
}

int check_made_includes() {
    return check_made_over_sources() == 0 && check_name_clashes() == 0 ? 0 : -1;
}

}  // namespace keston::map
