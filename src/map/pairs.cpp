#include "map/pairs.h"

#include <cstdlib>
#include <cstring>
#include <new>

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

bool same_name(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (fold_case(a[i]) == fold_case(b[i])) continue;
        if (!is_separator(a[i]) || !is_separator(b[i])) return false;
    }
    return true;
}

}  // namespace keston::map
