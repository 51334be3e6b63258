// Block-at-a-time search and copy for the hot loops: a block of bytes (16 with
// SSE2, else 8 in a 64-bit word) is looked at and copied per step instead of
// one byte. The loops read and write up to SCAN_SLACK - 1 bytes past the span
// they are given, so every buffer they work on has SCAN_SLACK bytes of room
// behind its useful size.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keston {

namespace scan_block {

#if defined(__SSE2__)

using Block = __m128i;
using Bits = unsigned;  // one bit per byte, lowest bit for the lowest address

inline Block load(const char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store(char* p, Block block) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), block);
}
inline Block splat(char c) {
    return _mm_set1_epi8(c);
}
inline Bits equal_bits(Block block, Block pattern) {
    return static_cast<Bits>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, pattern)));
}
inline std::size_t first_index(Bits bits) {
    return static_cast<std::size_t>(std::countr_zero(bits));
}
// Index of the first byte that is not the pattern, or the block size.
inline std::size_t first_other(Block block, Block pattern) {
    return static_cast<std::size_t>(std::countr_zero(~equal_bits(block, pattern)));
}
// The bits of the first count bytes (count at most the block size).
inline Bits first_bytes(std::size_t count) {
    return (1u << count) - 1;
}
inline bool has_byte(Bits bits, std::size_t index) {
    return ((bits >> index) & 1) != 0;
}
// Bytes up to and including the last flagged one; 0 when none is flagged.
inline std::uint32_t bytes_through_last(Bits bits) {
    return static_cast<std::uint32_t>(32 - std::countl_zero(bits));
}
// One bit a byte, bit i for byte i.
inline std::uint32_t compact(Bits bits) {
    return bits;
}

#else

static_assert(std::endian::native == std::endian::little, "word scanning assumes a little-endian machine");

using Block = std::uint64_t;
using Bits = std::uint64_t;  // the high bit of each byte

constexpr Block LOW_SEVEN_BITS = 0x7F7F7F7F7F7F7F7FULL;

inline Block load(const char* p) {
    Block block;
    std::memcpy(&block, p, sizeof block);
    return block;
}
inline void store(char* p, Block block) {
    std::memcpy(p, &block, sizeof block);
}
constexpr Block splat(char c) {
    return 0x0101010101010101ULL * static_cast<unsigned char>(c);
}
// Exactly the bytes equal to the pattern: the sum of a byte's low seven bits
// and 0x7F carries into its high bit unless they are all 0, and never carries
// into the next byte.
constexpr Bits equal_bits(Block block, Block pattern) {
    const Block x = block ^ pattern;
    return ~(((x & LOW_SEVEN_BITS) + LOW_SEVEN_BITS) | x | LOW_SEVEN_BITS);
}
inline std::size_t first_index(Bits bits) {
    return static_cast<std::size_t>(std::countr_zero(bits)) / 8;
}
inline std::size_t first_other(Block block, Block pattern) {
    const Block others = block ^ pattern;
    return others == 0 ? sizeof(Block) : static_cast<std::size_t>(std::countr_zero(others)) / 8;
}
constexpr Bits first_bytes(std::size_t count) {
    return (count >= sizeof(Block) ? ~Bits{0} : (Bits{1} << (8 * count)) - 1) & ~LOW_SEVEN_BITS;
}
constexpr bool has_byte(Bits bits, std::size_t index) {
    return ((bits >> (8 * index + 7)) & 1) != 0;
}
inline std::uint32_t bytes_through_last(Bits bits) {
    return static_cast<std::uint32_t>(71 - std::countl_zero(bits)) / 8;
}
// One bit a byte, bit i for byte i: the high bits gathered by a multiplication
// that moves each to its place among the top eight, without carries.
constexpr std::uint32_t compact(Bits bits) {
    return static_cast<std::uint32_t>(((bits >> 7) * 0x0102040810204080ULL) >> 56);
}

#endif

constexpr std::size_t SIZE = sizeof(Block);

}  // namespace scan_block

constexpr std::size_t SCAN_SLACK = 16;
static_assert(scan_block::SIZE <= SCAN_SLACK);

// Flags of SPAN_BYTES bytes in one word, bit i for byte i, the same whatever
// the block: for work on several bytes' flags at once, such as a byte and the
// one behind it.
using SpanBits = std::uint32_t;
constexpr std::size_t SPAN_BYTES = 32;
static_assert(SPAN_BYTES % scan_block::SIZE == 0 && SPAN_BYTES == 8 * sizeof(SpanBits));

// For each of targets, the flags of the bytes of text[0, SPAN_BYTES) equal to it.
template <typename... Targets>
std::array<SpanBits, sizeof...(Targets)> span_flags(const char* text, Targets... targets) {
    using namespace scan_block;
    const Block patterns[] = {splat(targets)...};
    std::array<SpanBits, sizeof...(Targets)> flags{};
    for (std::size_t done = 0; done < SPAN_BYTES; done += SIZE) {
        const Block block = load(text + done);
        for (std::size_t i = 0; i < flags.size(); ++i) flags[i] |= compact(equal_bits(block, patterns[i])) << done;
    }
    return flags;
}

// The same for the bytes of text[0, limit) when limit (one or more) is below
// SPAN_BYTES, with no flag set beyond them: a block wholly beyond is not
// looked at.
template <typename... Targets>
std::array<SpanBits, sizeof...(Targets)> span_flags_within(const char* text, std::size_t limit, Targets... targets) {
    using namespace scan_block;
    if (limit >= SPAN_BYTES) return span_flags(text, targets...);
    const Block patterns[] = {splat(targets)...};
    std::array<SpanBits, sizeof...(Targets)> flags{};
    std::size_t done = 0;
    do {
        const Block block = load(text + done);
        for (std::size_t i = 0; i < flags.size(); ++i) flags[i] |= compact(equal_bits(block, patterns[i])) << done;
        done += SIZE;
    } while (done < limit);
    const SpanBits valid = (SpanBits{1} << limit) - 1;
    for (SpanBits& f : flags) f &= valid;
    return flags;
}

// The number of flags set: a loop, since the baseline instruction set has no
// population count and the library's function costs more for a few flags.
inline std::uint32_t count_flags(SpanBits flags) {
    std::uint32_t count = 0;
    for (; flags != 0; flags &= flags - 1) ++count;
    return count;
}

// Number of bytes before the first byte equal to one of targets, within limit;
// limit when there is none. Copies the bytes looked at to out unless out is null.
template <typename... Targets>
std::size_t scan_until(const char* text, std::size_t limit, char* out, Targets... targets) {
    using namespace scan_block;
    const Block patterns[] = {splat(targets)...};
    for (std::size_t done = 0; done < limit; done += SIZE) {
        const Block block = load(text + done);
        if (out != nullptr) store(out + done, block);
        Bits bits = 0;
        for (const Block& pattern : patterns) bits |= equal_bits(block, pattern);
        if (bits != 0) {
            const std::size_t found = done + first_index(bits);
            return found < limit ? found : limit;
        }
    }
    return limit;
}

// Number of blanks (spaces and TABs) from text on, within limit.
inline std::size_t count_blanks(const char* text, std::size_t limit) {
    using namespace scan_block;
    const Block spaces = splat(' ');
    const Block tabs = splat('\t');
    for (std::size_t done = 0; done < limit; done += SIZE) {
        const Block block = load(text + done);
        const Bits others = ~(equal_bits(block, spaces) | equal_bits(block, tabs)) & first_bytes(SIZE);
        if (others != 0) {
            const std::size_t found = done + first_index(others);
            return found < limit ? found : limit;
        }
    }
    return limit;
}

// Copies count bytes a block at a time, and, as the scans read, up to
// SCAN_SLACK - 1 bytes behind them: for short lines between line buffers.
inline void copy_blocks(char* out, const char* in, std::size_t count) {
    using namespace scan_block;
    for (std::size_t done = 0; done < count; done += SIZE) store(out + done, load(in + done));
}

// Copies count bytes, a block at a time, the last block ending with the
// bytes, and never reads or writes beyond them: also for bytes with no room
// behind them. (The library's copy of a long span counts as an instruction
// a byte; so do the measures of this program.)
inline void copy_bytes(char* out, const char* in, std::size_t count) {
    using namespace scan_block;
    if (count < SIZE) {
        std::memcpy(out, in, count);
        return;
    }
    for (std::size_t done = 0; done + SIZE < count; done += SIZE) store(out + done, load(in + done));
    store(out + count - SIZE, load(in + count - SIZE));
}

// Number of spaces from text on, up to the first other byte (the line's NUL at the latest).
inline std::size_t count_spaces(const char* text) {
    using namespace scan_block;
    const Block spaces = splat(' ');
    for (std::size_t done = 0;; done += SIZE) {
        const std::size_t run = first_other(load(text + done), spaces);
        if (run != SIZE) return done + run;
    }
}

// The end of text[0, end) without the blanks (spaces and TABs) that end it,
// found a block at a time from the end back; no byte before text is read.
inline std::size_t end_before_blanks(const char* text, std::size_t end) {
    using namespace scan_block;
    const Block spaces = splat(' ');
    const Block tabs = splat('\t');
    while (end > 0) {
        const std::size_t base = end > SIZE ? end - SIZE : 0;
        const Block block = load(text + base);
        const Bits others = ~(equal_bits(block, spaces) | equal_bits(block, tabs)) & first_bytes(end - base);
        if (others != 0) return base + bytes_through_last(others);
        end = base;
    }
    return 0;
}

// The longest span fill_spaces takes: a tab width.
constexpr std::size_t MAX_SPAN = 64;

// Fills count (at most MAX_SPAN) bytes at out with spaces, a block at a time.
// The stores stand in a fixed, fully unrolled sequence: as a plain loop the
// compiler makes a memset call of it, which costs more than the few stores.
inline void fill_spaces(char* out, std::size_t count) {
    using namespace scan_block;
    const Block spaces = splat(' ');
#pragma GCC unroll 8
    for (std::size_t done = 0; done < MAX_SPAN; done += SIZE) {
        if (done >= count) return;
        store(out + done, spaces);
    }
}

}  // namespace keston
