// Hashing of short names a byte at a time, for the open-addressed tables that
// find a label name without walking a list.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keston {

constexpr std::uint32_t NAME_HASH_START = 2166136261u;

// The hash of a name one byte longer: every leading part of a name has its
// own hash on the way to the whole name's.
constexpr std::uint32_t extend_name_hash(std::uint32_t hash, char c) {
    return (hash ^ static_cast<unsigned char>(c)) * 16777619u;
}

constexpr std::uint32_t hash_name(const char* name, std::size_t length) {
    std::uint32_t hash = NAME_HASH_START;
    for (std::size_t i = 0; i < length; ++i) hash = extend_name_hash(hash, name[i]);
    return hash;
}

// The slot where a probe for the hash begins, in a table of 2^bits slots;
// the multiplication spreads every bit of the hash into the top ones.
constexpr std::uint32_t home_slot(std::uint32_t hash, unsigned bits) {
    return (hash * 2654435769u) >> (32 - bits);
}

}  // namespace keston
