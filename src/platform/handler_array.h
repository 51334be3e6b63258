// Arrays that an interrupt handler reads: the files it removes when the
// process ends by a signal.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform/process.h"

namespace keston::platform {

// Room for one entry more behind the count entries held, the array doubled
// when full. The new array is filled before it takes the old one's place,
// and that swap runs with interrupts held, so the handler reads the old array
// or the new one, both whole. False, with the array as it was, when there is
// no memory.
template <typename Entry, typename Room>
bool make_room_for_handler(Entry*& entries, std::size_t count, Room& room) {
    static_assert(std::is_trivially_copyable_v<Entry>);
    if (count < static_cast<std::size_t>(room)) return true;
    const Room grown_room = room == 0 ? 16 : room * 2;
    void* const grown = std::malloc(static_cast<std::size_t>(grown_room) * sizeof(Entry));
    if (grown == nullptr) return false;
    if (entries != nullptr) std::memcpy(grown, entries, count * sizeof(Entry));
    hold_interrupts();
    Entry* const old = entries;
    entries = static_cast<Entry*>(grown);
    release_interrupts();
    std::free(old);
    room = grown_room;
    return true;
}

}  // namespace keston::platform
