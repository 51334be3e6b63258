// Local labels: every name behind the two prefix characters is rewritten as
// the name, '_' and a number that is unique in the whole file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/byte_scan.h"

namespace keston {

constexpr std::size_t LABEL_NAMES_SIZE = 33792;
constexpr std::uint32_t MAX_LABEL_NAME = 32;

extern char g_label_prefix[2];

// The names of the current scope, each followed by a NUL, in the order of
// their first appearance; an empty name ends the list. The scan slack behind
// the array lets a name be compared a block at a time.
extern char g_label_names[LABEL_NAMES_SIZE + SCAN_SLACK];

// 64 bits: a file never runs out of label numbers.
extern std::uint64_t g_label_count;  // next free label number in the file
extern std::uint64_t g_label_base;   // number of the current scope's first name

// Told of every label written into a line: the name as the source spells it
// (behind the prefix) and its number. Null in a run that needs no telling.
using LabelObserver = void (*)(const char* name, std::uint32_t length, std::uint64_t number);
extern LabelObserver g_label_observer;

// The state at the start of a file: an empty name list, numbers from 0.
void reset_label_state();

// Current line to the other buffer with every label rewritten; a line that
// holds no prefix pair stays where it is. 0, or -1 after its message.
std::int32_t process_local_labels();

// The one thing label processing does with a line that holds no prefix pair:
// a non-empty line that opens a scope starts a new list of names.
void track_label_scope(const char* line, std::uint32_t length);

// Where line (length characters) first holds the two prefix characters
// together, where a name would be renamed; length when nowhere.
std::uint32_t find_label_prefix(const char* line, std::uint32_t length);

// Whether a non-empty line begins a new scope of label names: any line but
// one that starts with a blank, '#', '/', ';' or the prefix pair.
bool opens_label_scope(const char* line);

// Characters of the label name at name (behind a prefix), up to its first
// delimiter; MAX_LABEL_NAME + 1 when the name is longer than MAX_LABEL_NAME.
std::uint32_t measure_label_name(const char* name);

// Measures the name at name (behind a prefix) into *length_out and returns its
// number in the current scope, adding it when it is new. -1 after a message,
// with *length_out 0.
std::int64_t lookup_local_label(const char* name, std::uint32_t* length_out);

}  // namespace keston
