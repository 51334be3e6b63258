#include "map/pairs.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "include/include_finder.h"
#include "map/path_index.h"

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

bool describe_pairs() {
    for (std::uint32_t i = 0; i < g_pair_count; ++i) g_pairs[i].state = MapState::NOT_BUILT;
    return index_pairs();
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

// A new pair of the source folder's file at relative and the name.
Pair* make_folder_pair(const Pair& folders, const char* name, std::size_t length, const char* relative,
                       std::size_t relative_length) {
    const std::size_t source_length = std::strlen(folders.source);
    if (source_length + relative_length >= FILE_NAME_SIZE || length >= FILE_NAME_SIZE) return nullptr;
    void* const memory = std::calloc(1, sizeof(FolderMadePair));
    if (memory == nullptr) return nullptr;
    auto* const made = new (memory) FolderMadePair();
    Pair& pair = made->pair;
    std::memcpy(pair.source, folders.source, source_length);
    std::memcpy(pair.source + source_length, relative, relative_length);
    std::memcpy(pair.destination, name, length);
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

Pair* pair_in_folders(const Pair& folders, const char* name, std::size_t length, const char* relative,
                      std::size_t relative_length) {
    for (FolderMadePair* made = g_folder_made_pairs; made != nullptr; made = made->next) {
        Pair& pair = made->pair;
        if (std::strlen(pair.destination) == length && same_name(pair.destination, name, length)) return &pair;
    }
    return make_folder_pair(folders, name, length, relative, relative_length);
}

bool same_name(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (fold_case(a[i]) == fold_case(b[i])) continue;
        if (!is_separator(a[i]) || !is_separator(b[i])) return false;
    }
    return true;
}

}  // namespace keston::map
