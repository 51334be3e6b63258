#include "transform/label_index.h"

#include <cstddef>
#include <cstring>

#include "common/byte_scan.h"
#include "common/name_hash.h"
#include "transform/local_labels.h"

namespace keston {

namespace {

// A name takes at least two bytes of the list, its NUL included. The keys are
// the leading parts of the names: at most one for each byte of the list, so
// they fill about half of the slots at most, and a probe always ends.
constexpr std::size_t MAX_NAMES = LABEL_NAMES_SIZE / 2;
constexpr std::size_t MAX_KEYS = LABEL_NAMES_SIZE;
constexpr unsigned SLOT_BITS = 16;
constexpr std::uint32_t SLOT_MASK = (1u << SLOT_BITS) - 1;
static_assert(MAX_KEYS < (1u << SLOT_BITS));

// A slot holds 0 when empty, else the position of its name plus one in the
// low bits and the length of the key, a leading part of that name, above them.
constexpr unsigned KEY_LENGTH_SHIFT = 16;
static_assert(MAX_NAMES < (1u << KEY_LENGTH_SHIFT));

// A scope of at most this many names is walked: entering every leading part
// of each name would cost more than the walks. The index takes over when a
// scope passes it.
constexpr std::uint32_t WALKED_NAMES = 16;

std::uint32_t g_slots[1u << SLOT_BITS];
std::uint16_t g_name_offsets[MAX_NAMES];
std::uint16_t g_used_slots[MAX_KEYS];
std::uint32_t g_used_count = 0;
std::uint32_t g_name_count = 0;

std::uint32_t position_of(std::uint32_t entry) {
    return (entry & ((1u << KEY_LENGTH_SHIFT) - 1)) - 1;
}

// Whether the stored name begins with the length bytes at name. A short name
// is compared in one block; the stored name's NUL never matches a name byte.
bool stored_begins_with(const char* stored, const char* name, std::uint32_t length) {
    using namespace scan_block;
    if (length > SIZE) return std::strncmp(stored, name, length) == 0;
    const Bits wanted = first_bytes(length);
    return (equal_bits(load(stored), load(name)) & wanted) == wanted;
}

// The slot that holds the key of length bytes at name, whose hash is given,
// or else the empty slot where it belongs.
std::uint32_t find_slot(std::uint32_t hash, const char* name, std::uint32_t length) {
    for (std::uint32_t slot = home_slot(hash, SLOT_BITS);; slot = (slot + 1) & SLOT_MASK) {
        const std::uint32_t entry = g_slots[slot];
        if (entry == 0) return slot;
        if (entry >> KEY_LENGTH_SHIFT == length &&
            stored_begins_with(g_label_names + g_name_offsets[position_of(entry)], name, length)) {
            return slot;
        }
    }
}

// Enters every leading part of the name of length characters at position that
// no earlier name has.
void enter_name_parts(std::uint32_t position, std::uint32_t length) {
    const char* const name = g_label_names + g_name_offsets[position];
    std::uint32_t hashes[MAX_LABEL_NAME + 1];
    hashes[0] = NAME_HASH_START;
    for (std::uint32_t i = 0; i < length; ++i) hashes[i + 1] = extend_name_hash(hashes[i], name[i]);
    // The longest part first: a part that is there already leads to an
    // earlier name, and so do all parts shorter than it.
    for (std::uint32_t part = length + 1; part-- > 0;) {
        const std::uint32_t slot = find_slot(hashes[part], name, part);
        if (g_slots[slot] != 0) break;
        g_slots[slot] = (position + 1) | part << KEY_LENGTH_SHIFT;
        g_used_slots[g_used_count++] = static_cast<std::uint16_t>(slot);
    }
}

// The first stored name that begins with the name, found by walking the list.
std::int32_t walk_names(const char* name, std::uint32_t length) {
    for (std::uint32_t position = 0; position < g_name_count; ++position) {
        if (stored_begins_with(g_label_names + g_name_offsets[position], name, length)) {
            return static_cast<std::int32_t>(position);
        }
    }
    return -1;
}

}  // namespace

void empty_label_index() {
    for (std::uint32_t i = 0; i < g_used_count; ++i) g_slots[g_used_slots[i]] = 0;
    g_used_count = 0;
    g_name_count = 0;
}

std::int32_t find_label_position(const char* name, std::uint32_t length) {
    if (g_name_count <= WALKED_NAMES) return walk_names(name, length);
    const std::uint32_t entry = g_slots[find_slot(hash_name(name, length), name, length)];
    return entry == 0 ? -1 : static_cast<std::int32_t>(position_of(entry));
}

std::uint32_t index_label_name(std::uint32_t offset, std::uint32_t length) {
    const std::uint32_t position = g_name_count++;
    g_name_offsets[position] = static_cast<std::uint16_t>(offset);
    if (g_name_count == WALKED_NAMES + 1) {
        for (std::uint32_t earlier = 0; earlier < position; ++earlier) {
            enter_name_parts(earlier, static_cast<std::uint32_t>(std::strlen(g_label_names + g_name_offsets[earlier])));
        }
    }
    if (g_name_count > WALKED_NAMES) enter_name_parts(position, length);
    return position;
}

}  // namespace keston
