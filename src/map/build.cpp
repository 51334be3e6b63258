#include "map/build.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/report.h"
#include "map/dependency_file.h"
#include "map/made_files.h"
#include "map/made_includes.h"
#include "map/map_command_line.h"
#include "map/notes.h"
#include "map/pairs.h"
#include "platform/process.h"
#include "platform/staged_file.h"
#include "transform/local_labels.h"

namespace keston::map {

namespace {

int make_all() {
    add_pair_files();
    for (std::size_t i = 0; i < g_made.size(); ++i) {
        if (make_file(g_made[i]) != 0 || add_includes_of(i) != 0) return -1;
    }
    return check_made_includes();
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

// The file and every file it makes as an include, directly or not, each
// once, in the order they are met.
void add_reached(std::size_t index, std::vector<std::size_t>* reached) {
    for (const std::size_t met : *reached) {
        if (met == index) return;
    }
    reached->push_back(index);
    for (const std::size_t include : g_made[index].includes) add_reached(include, reached);
}

// -d: beside each pair's destination, a dependency file that names its
// source and the source of every include it makes.
int stage_dependency_files() {
    for (std::size_t root = 0; root < g_root_count; ++root) {
        std::vector<std::size_t> reached;
        add_reached(root, &reached);
        std::vector<std::string> prerequisites;
        for (const std::size_t index : reached) {
            const std::string& source = g_made[index].source;
            if (std::find(prerequisites.begin(), prerequisites.end(), source) == prerequisites.end()) {
                prerequisites.push_back(source);
            }
        }
        const std::string& destination = g_made[root].destination;
        bool changed = false;
        if (stage_bytes(destination + ".d", dependency_rules(destination, prerequisites), &changed) != 0) return -1;
    }
    return 0;
}

// A file whose own bytes stay gets a new time when an include it makes
// changed, so that what is assembled from it is assembled again; and every
// file ends up no older than its includes, also where another run made one
// of them meanwhile (make -j) or an include was put in place after it. The
// includes are seen to first; an include that leads back is left out.
enum class Visit : std::uint8_t { NOT_YET, UNDER_WAY, DONE };

int renew_time_of(std::size_t index, std::vector<Visit>* visits, std::vector<bool>* fresh) {
    (*visits)[index] = Visit::UNDER_WAY;
    const MadeFile& file = g_made[index];
    for (const std::size_t include : file.includes) {
        if ((*visits)[include] == Visit::NOT_YET && renew_time_of(include, visits, fresh) != 0) return -1;
    }
    (*visits)[index] = Visit::DONE;
    const std::int64_t own = platform::modification_time(file.destination.c_str());
    bool renew = false;
    for (const std::size_t include : file.includes) {
        const bool newer = platform::modification_time(g_made[include].destination.c_str()) > own;
        renew = renew || newer || ((*fresh)[include] && !file.changed);
    }
    (*fresh)[index] = file.changed || renew;
    if (renew && platform::renew_time(file.destination.c_str()) != 0) {
        error_at(file.destination.c_str(), 0, "its time cannot be renewed");
        return -1;
    }
    return 0;
}

int renew_times() {
    std::vector<Visit> visits(g_made.size(), Visit::NOT_YET);
    std::vector<bool> fresh(g_made.size(), false);
    for (std::size_t root = 0; root < g_root_count; ++root) {
        if (visits[root] == Visit::NOT_YET && renew_time_of(root, &visits, &fresh) != 0) return -1;
    }
    return 0;
}

}  // namespace

int build_destinations() {
    // An interrupt leaves no staged file behind; the shell tells of it.
    platform::install_interrupt_handler("");
    g_failure_messages_muted = true;
    reset_label_state();
    const bool built = make_all() == 0 && (!g_writes_dependencies || stage_dependency_files() == 0) &&
                       commit_made_files() == 0 && renew_times() == 0 && pair_includes() == 0;
    g_failure_messages_muted = false;
    if (!built) {
        platform::discard_staged();
        remove_made_folders();
    }
    platform::remove_interrupt_handler();
    return built ? 0 : -1;
}

}  // namespace keston::map
