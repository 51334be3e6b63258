#include "map/pairs.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "include/include_finder.h"
#include "platform/absolute_path.h"

namespace keston::map {

Pair* g_pairs = nullptr;
std::uint32_t g_pair_count = 0;

bool allocate_pairs(std::uint32_t count) {
    void* const memory = std::calloc(count, sizeof(Pair));
    if (memory == nullptr) return false;
    g_pairs = static_cast<Pair*>(memory);
    for (std::uint32_t i = 0; i < count; ++i) new (&g_pairs[i]) Pair();
    g_pair_count = count;
    return true;
}

bool add_pairs(std::uint32_t count) {
    Pair* const kept = g_pairs;
    const std::uint32_t kept_count = g_pair_count;
    if (!allocate_pairs(kept_count + count)) {
        g_pairs = kept;
        g_pair_count = kept_count;
        return false;
    }
    for (std::uint32_t i = 0; i < kept_count; ++i) {
        std::memcpy(g_pairs[i].source, kept[i].source, FILE_NAME_SIZE);
        std::memcpy(g_pairs[i].destination, kept[i].destination, FILE_NAME_SIZE);
        g_pairs[i].folders = kept[i].folders;
        kept[i].~Pair();
    }
    std::free(kept);
    return true;
}

namespace {

std::uint32_t last_component_of(const char* name) {
    std::uint32_t start = 0;
    for (std::uint32_t at = 0; name[at] != '\0'; ++at) {
        if (is_separator(name[at])) start = at + 1;
    }
    return start;
}

bool same_last_component(const Pair& a, const Pair& b) {
    return a.last_component_length == b.last_component_length &&
           same_name(a.destination + a.last_component, b.destination + b.last_component, a.last_component_length);
}

}  // namespace

void describe_pairs() {
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        Pair& pair = g_pairs[i];
        pair.destination_length = std::strlen(pair.destination);
        pair.last_component = last_component_of(pair.destination);
        pair.last_component_length = static_cast<std::uint32_t>(pair.destination_length - pair.last_component);
        pair.destination_absolute = platform::absolute_path(pair.destination);
        pair.absolute_length = pair.destination_absolute == nullptr ? 0 : std::strlen(pair.destination_absolute);
        pair.state = MapState::NOT_BUILT;
        pair.shares_last_component = false;
    }
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        for (std::uint32_t j = i + 1; j < g_pair_count; ++j) {
            if (!same_last_component(g_pairs[i], g_pairs[j])) continue;
            g_pairs[i].shares_last_component = g_pairs[j].shares_last_component = true;
        }
    }
}

bool is_folder_name(const char* name) {
    const std::size_t length = std::strlen(name);
    if (length == 0) return false;
#ifdef _WIN32
    return is_separator(name[length - 1]);
#else
    return name[length - 1] == '/';
#endif
}

namespace {

// The pairs made of folder pairs, each on its own, so that a pointer to one stays good.
struct FolderMadePair {
    Pair pair;
    FolderMadePair* next;
};
FolderMadePair* g_folder_made_pairs = nullptr;

// The length of folder's text that name begins with, and a separator
// behind it where folder has none; 0 when it does not begin so.
std::size_t folder_prefix(const char* name, std::size_t length, const char* folder) {
    if (folder == nullptr) return 0;
    const std::size_t folder_length = std::strlen(folder);
    if (folder_length >= length || !same_name(name, folder, folder_length)) return 0;
    if (is_separator(folder[folder_length - 1])) return folder_length;
    return is_separator(name[folder_length]) ? folder_length + 1 : 0;
}

// A new pair of source folder + rest and the name, described as
// describe_pairs describes the command line's.
Pair* make_folder_pair(const Pair& folders, const char* name, std::size_t length, std::size_t rest) {
    const std::size_t source_length = std::strlen(folders.source);
    if (source_length + length - rest >= FILE_NAME_SIZE || length >= FILE_NAME_SIZE) return nullptr;
    void* const memory = std::calloc(1, sizeof(FolderMadePair));
    if (memory == nullptr) return nullptr;
    auto* const made = new (memory) FolderMadePair();
    Pair& pair = made->pair;
    std::memcpy(pair.source, folders.source, source_length);
    std::memcpy(pair.source + source_length, name + rest, length - rest);
    std::memcpy(pair.destination, name, length);
    pair.destination_length = length;
    pair.last_component = last_component_of(pair.destination);
    pair.last_component_length = static_cast<std::uint32_t>(length - pair.last_component);
    pair.destination_absolute = platform::absolute_path(pair.destination);
    pair.absolute_length = pair.destination_absolute == nullptr ? 0 : std::strlen(pair.destination_absolute);
    // A DOS source's include may spell its file in another case than the folder does.
    char found[INCLUDE_PATH_SIZE];
    if (find_file_in_any_case(pair.source, found) && std::strlen(found) < FILE_NAME_SIZE) {
        std::memcpy(pair.source, found, std::strlen(found) + 1);
    }
    made->next = g_folder_made_pairs;
    g_folder_made_pairs = made;
    return &pair;
}

}  // namespace

Pair* pair_in_folders(const char* name, std::size_t length) {
    for (FolderMadePair* made = g_folder_made_pairs; made != nullptr; made = made->next) {
        const Pair& pair = made->pair;
        if (pair.destination_length == length && same_name(pair.destination, name, length)) return &made->pair;
    }
    char* const absolute = platform::absolute_path(std::string(name, length).c_str());
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        const Pair& folders = g_pairs[i];
        if (!folders.folders) continue;
        std::size_t rest = folder_prefix(name, length, folders.destination);
        if (rest == 0 && absolute != nullptr && folders.destination_absolute != nullptr &&
            folder_prefix(absolute, std::strlen(absolute), folders.destination_absolute) != 0) {
            rest = length - (std::strlen(absolute) -
                             folder_prefix(absolute, std::strlen(absolute), folders.destination_absolute));
        }
        if (rest == 0 || rest > length) continue;
        std::free(absolute);
        return make_folder_pair(folders, name, length, rest);
    }
    std::free(absolute);
    return nullptr;
}

bool same_name(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (fold_case(a[i]) == fold_case(b[i])) continue;
        if (!is_separator(a[i]) || !is_separator(b[i])) return false;
    }
    return true;
}

}  // namespace keston::map
