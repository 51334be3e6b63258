// An array that grows at its end while a map is built. Its memory comes from
// the C library, so that a lack of it is a result to handle, not the end of
// the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace keston::map {

template <typename Item>
class GrowingArray {
    static_assert(std::is_trivially_copyable_v<Item>);

   public:
    GrowingArray() = default;
    ~GrowingArray() { std::free(items_); }
    GrowingArray(const GrowingArray&) = delete;
    GrowingArray& operator=(const GrowingArray&) = delete;

    std::size_t size() const { return size_; }
    const Item& operator[](std::size_t index) const { return items_[index]; }
    Item& operator[](std::size_t index) { return items_[index]; }

    // False, with the array as it was, when there is no memory for more.
    bool append(const Item* items, std::size_t count) {
        if (!make_room(count)) return false;
        std::memcpy(static_cast<void*>(items_ + size_), items, count * sizeof(Item));
        size_ += count;
        return true;
    }
    bool push(const Item& item) { return append(&item, 1); }

    // Grows to size items, more than it holds, the new ones zero. False when
    // there is no memory.
    bool grow_to(std::size_t size) {
        if (!make_room(size - size_)) return false;
        std::memset(static_cast<void*>(items_ + size_), 0, (size - size_) * sizeof(Item));
        size_ = size;
        return true;
    }

    // Gives the memory back.
    void clear() {
        std::free(items_);
        items_ = nullptr;
        size_ = capacity_ = 0;
    }

   private:
    // Doubling keeps the copies to about one per item.
    bool make_room(std::size_t count) {
        if (capacity_ - size_ >= count) return true;
        constexpr std::size_t MOST_ITEMS = SIZE_MAX / 2 / sizeof(Item);
        std::size_t capacity = capacity_ == 0 ? 1024 : capacity_;
        while (capacity - size_ < count) {
            if (capacity > MOST_ITEMS) return false;
            capacity *= 2;
        }
        void* const grown = std::realloc(static_cast<void*>(items_), capacity * sizeof(Item));
        if (grown == nullptr) return false;
        items_ = static_cast<Item*>(grown);
        capacity_ = capacity;
        return true;
    }

    Item* items_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace keston::map
