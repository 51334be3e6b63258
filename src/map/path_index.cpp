#include "map/path_index.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "map/growing_array.h"
#include "platform/absolute_path.h"

namespace keston::map {

namespace {

enum class PathOwner : std::uint8_t { NONE, DESTINATION, SOURCE };

// The paths form a tree read from their ends: a node's children are the
// components that come before its own in some path.
struct Node {
    std::uint32_t parent;
    std::uint32_t length;
    const char* text;
    std::uint32_t destinations;  // whose paths end in this node's run of components
    Pair* a_destination;         // one of them
    Pair* destination;           // whose path is exactly this run, if any
    bool source;                 // some source's path is exactly this run
};

constexpr std::uint32_t ROOT = 0;
constexpr std::uint32_t FIRST_SLOTS = 1024;

GrowingArray<Node> g_nodes;
// The children of every node, found by their parent and text: node numbers
// in open addressing, 0 (the root, never a child) for a free slot.
std::uint32_t* g_slots = nullptr;
std::uint32_t g_slot_count = 0;
char* g_current_folder = nullptr;
bool g_has_folder_pairs = false;
std::size_t g_longest_path_with_blanks = 0;

bool is_letter(char c) {
    return fold_case(c) >= 'a' && fold_case(c) <= 'z';
}

bool is_absolute(const char* path, std::size_t length) {
    if (length != 0 && is_separator(path[0])) return true;
    return length > 2 && is_letter(path[0]) && path[1] == ':' && is_separator(path[2]);
}

// Adds text's components: empty ones and '.' go, '..' takes back the one before.
bool add_components(const char* text, std::size_t length, ResolvedPath* resolved) {
    for (std::size_t at = 0; at < length;) {
        std::size_t end = at;
        while (end < length && !is_separator(text[end])) ++end;
        const std::size_t size = end - at;
        if (size == 2 && text[at] == '.' && text[at + 1] == '.') {
            if (resolved->count != 0) --resolved->count;
        } else if (size != 0 && !(size == 1 && text[at] == '.')) {
            if (resolved->count == MAX_PATH_COMPONENTS) return false;
            resolved->text[resolved->count] = text + at;
            resolved->length[resolved->count++] = static_cast<std::uint32_t>(size);
        }
        at = end + 1;
    }
    return true;
}

std::uint32_t hash_of(std::uint32_t parent, const char* text, std::uint32_t length) {
    std::uint32_t hash = 2166136261U ^ parent;
    for (std::uint32_t i = 0; i < length; ++i) hash = (hash ^ static_cast<unsigned char>(fold_case(text[i]))) * 16777619U;
    return hash;
}

// The slot of parent's child with this text, or the free slot where it goes.
std::uint32_t slot_of(std::uint32_t parent, const char* text, std::uint32_t length) {
    const std::uint32_t mask = g_slot_count - 1;
    for (std::uint32_t slot = hash_of(parent, text, length) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t node = g_slots[slot];
        if (node == ROOT) return slot;
        const Node& child = g_nodes[node];
        if (child.parent == parent && child.length == length && same_name(child.text, text, length)) return slot;
    }
}

// Twice the slots, the children placed anew; false when there is no memory.
bool grow_slots() {
    const std::uint32_t count = g_slot_count == 0 ? FIRST_SLOTS : g_slot_count * 2;
    auto* const slots = static_cast<std::uint32_t*>(std::calloc(count, sizeof(std::uint32_t)));
    if (slots == nullptr) return false;
    std::free(g_slots);
    g_slots = slots;
    g_slot_count = count;
    for (std::uint32_t node = 1; node < g_nodes.size(); ++node) {
        const Node& child = g_nodes[node];
        g_slots[slot_of(child.parent, child.text, child.length)] = node;
    }
    return true;
}

// parent's child with this text, added when missing; ROOT when there is no memory.
std::uint32_t child_made(std::uint32_t parent, const char* text, std::uint32_t length) {
    // Half the slots stay free, so that a search ends soon.
    if (g_nodes.size() * 2 >= g_slot_count && !grow_slots()) return ROOT;
    const std::uint32_t slot = slot_of(parent, text, length);
    if (g_slots[slot] != ROOT) return g_slots[slot];
    const auto node = static_cast<std::uint32_t>(g_nodes.size());
    if (!g_nodes.push(Node{parent, length, text, 0, nullptr, nullptr, false})) return ROOT;
    g_slots[slot] = node;
    return node;
}

// Adds a pair's path: the destination's, or with destination null the source's.
bool add_path(const char* name, Pair* destination) {
    ResolvedPath path;
    if (!resolve_path(name, std::strlen(name), &path)) return true;  // no reference can name it
    std::uint32_t node = ROOT;
    for (std::uint32_t i = path.count; i-- > 0;) {
        node = child_made(node, path.text[i], path.length[i]);
        if (node == ROOT) return false;
        if (destination == nullptr) continue;
        ++g_nodes[node].destinations;
        if (g_nodes[node].a_destination == nullptr) g_nodes[node].a_destination = destination;
    }
    Node& end = g_nodes[node];
    if (destination == nullptr) {
        end.source = true;
    } else if (end.destination == nullptr) {
        end.destination = destination;
    }
    return true;
}

// Where path's components, read from its end, lead: the deepest node, how
// many components that is, and the deepest node on the way that some
// destination's path runs through (the root when none does).
struct Walk {
    std::uint32_t node = ROOT;
    std::uint32_t depth = 0;
    std::uint32_t nearest = ROOT;
};

Walk walk(const ResolvedPath& path) {
    Walk walk;
    if (g_slot_count == 0) return walk;
    for (std::uint32_t i = path.count; i-- > 0;) {
        const std::uint32_t child = g_slots[slot_of(walk.node, path.text[i], path.length[i])];
        if (child == ROOT) break;
        walk.node = child;
        ++walk.depth;
        if (g_nodes[child].destinations != 0) walk.nearest = child;
    }
    return walk;
}

// Where path lies under the folder: the number of the folder's components, 0
// when it does not (a path that is the folder itself included).
std::uint32_t under_folder(const ResolvedPath& path, const char* folder) {
    ResolvedPath folder_path;
    if (!resolve_path(folder, std::strlen(folder), &folder_path) || folder_path.count >= path.count) return 0;
    for (std::uint32_t i = 0; i < folder_path.count; ++i) {
        if (folder_path.length[i] != path.length[i] ||
            !same_name(folder_path.text[i], path.text[i], path.length[i])) {
            return 0;
        }
    }
    return folder_path.count;
}

// The pair of a path under the destination folder of a pair of folders; its
// source is the file of the same relative path under the source folder.
PathOwner owner_in_folders(const ResolvedPath& path, const char* name, std::size_t length, Pair** pair) {
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        const Pair& folders = g_pairs[i];
        if (!folders.folders) continue;
        const std::uint32_t rest = under_folder(path, folders.destination);
        if (rest == 0) continue;
        char relative[FILE_NAME_SIZE];
        std::size_t used = 0;
        for (std::uint32_t c = rest; c < path.count; ++c) {
            if (used + path.length[c] + 1 >= FILE_NAME_SIZE) return PathOwner::DESTINATION;  // too long to make
            if (c != rest) relative[used++] = '/';
            std::memcpy(relative + used, path.text[c], path.length[c]);
            used += path.length[c];
        }
        *pair = pair_in_folders(folders, name, length, relative, used);
        return PathOwner::DESTINATION;
    }
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        if (g_pairs[i].folders && under_folder(path, g_pairs[i].source) != 0) return PathOwner::SOURCE;
    }
    return PathOwner::NONE;
}

// Notes how long a name with a blank may be spelt.
void note_blanks(const char* name) {
    if (std::strpbrk(name, " \t") == nullptr) return;
    const std::size_t folder = g_current_folder == nullptr ? 0 : std::strlen(g_current_folder) + 1;
    g_longest_path_with_blanks = std::max(g_longest_path_with_blanks, folder + std::strlen(name));
}

}  // namespace

bool resolve_path(const char* path, std::size_t length, ResolvedPath* resolved) {
    resolved->count = 0;
    if (!is_absolute(path, length) && g_current_folder != nullptr &&
        !add_components(g_current_folder, std::strlen(g_current_folder), resolved)) {
        return false;
    }
    return add_components(path, length, resolved);
}

bool index_pairs() {
    g_current_folder = platform::absolute_path(".");
    if (!g_nodes.push(Node{})) return false;  // the root
    for (std::uint32_t i = 0; i < g_pair_count; ++i) {
        Pair& pair = g_pairs[i];
        note_blanks(pair.source);
        note_blanks(pair.destination);
        g_has_folder_pairs = g_has_folder_pairs || pair.folders;
        if (pair.folders) continue;
        if (!add_path(pair.destination, &pair) || !add_path(pair.source, nullptr)) return false;
    }
    return true;
}

std::size_t longest_path_with_blanks() {
    return g_longest_path_with_blanks;
}

bool may_end_a_destination(const char* component, std::size_t length) {
    if (g_has_folder_pairs) return true;
    return g_slot_count != 0 && g_slots[slot_of(ROOT, component, static_cast<std::uint32_t>(length))] != ROOT;
}

Pair* pair_of(const ResolvedPath& path, const char* name, std::size_t length, bool whole_only, bool* owned) {
    const Walk found = walk(path);
    const Node& node = g_nodes[found.node];
    const bool whole = found.depth == path.count && found.depth != 0;
    *owned = true;
    if (whole && node.destination != nullptr) return node.destination;
    Pair* pair = nullptr;
    if (g_has_folder_pairs && owner_in_folders(path, name, length, &pair) != PathOwner::NONE) return pair;
    if (whole && node.source) return nullptr;
    *owned = false;
    const Node& nearest = g_nodes[found.nearest];
    return !whole_only && nearest.destinations == 1 ? nearest.a_destination : nullptr;
}

}  // namespace keston::map
