// State shared by every part of a run: the switch word, the two line buffers
// and the values the line transformations read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/byte_scan.h"

namespace keston {

// Bits of g_switches. A letter switch other than -h owns bit (letter - 'A').
constexpr std::uint32_t F_ASM_COMMENTS = 0x00000001;    // -a
constexpr std::uint32_t F_CPP_COMMENTS = 0x00000004;    // -c
constexpr std::uint32_t F_NO_EMPTY_LINES = 0x00000010;  // -e
constexpr std::uint32_t F_WHOLE_FILE = 0x00000020;      // -f
constexpr std::uint32_t F_LOCAL_LABELS = 0x00000800;    // -l
constexpr std::uint32_t F_QUOTES = 0x00010000;          // -q, accepted and never consulted
constexpr std::uint32_t F_EXPAND_TABS = 0x00040000;     // -s
constexpr std::uint32_t F_COMPRESS_TABS = 0x00080000;   // -t
constexpr std::uint32_t F_INPUT_NAMED = 0x04000000;     // a first file name was given
constexpr std::uint32_t F_OUTPUT_NAMED = 0x08000000;    // a second file name was given
constexpr std::uint32_t F_HELP = 0x10000000;            // -? and -h
constexpr std::uint32_t F_VERBOSE = 0x20000000;         // -#

// A line holds at most MAX_LINE - 1 characters and its NUL. The two spare
// bytes behind each buffer take the CR LF of a line of full length; the scan
// slack behind those lets the block-at-a-time loops run over the end.
constexpr std::size_t MAX_LINE = 1024;
constexpr std::size_t LINE_SPARE = 2;
constexpr std::size_t MAX_LINE_CHARS = MAX_LINE - 1;
constexpr std::size_t LINE_BUFFER_SIZE = MAX_LINE + LINE_SPARE + SCAN_SLACK;

extern std::uint32_t g_switches;

extern char g_line_a[LINE_BUFFER_SIZE];
extern char g_line_b[LINE_BUFFER_SIZE];

// Characters of the current line before its first NUL. Every step that
// changes the line keeps it up to date, so no step has to measure the line.
extern std::uint32_t g_line_length;

// Bit 0 selects the current line: clear for g_line_a, set for g_line_b.
extern std::uint8_t g_line_toggle;

// 1-based number of the source line being processed; every per-line message
// names it. 64 bits, so that it never wraps, printed unsigned.
extern std::uint64_t g_line_number;

extern std::uint32_t g_compress_tab;
extern std::uint32_t g_expand_tab;

inline char* current_line() {
    return (g_line_toggle & 1) != 0 ? g_line_b : g_line_a;
}

// One comparison and a bit test, where two comparisons would need their
// results combined.
constexpr bool is_blank(char c) {
    constexpr std::uint64_t BLANKS = (std::uint64_t{1} << ' ') | (std::uint64_t{1} << '\t');
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' && ((BLANKS >> byte) & 1) != 0;
}

}  // namespace keston
