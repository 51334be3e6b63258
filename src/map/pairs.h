// The pairs of the command line: each source with the destination that keston
// made of it, and, once built, the map from the destination back to the source.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cmdline/command_line.h"
#include "map/growing_array.h"

namespace keston::map {

// A label number's name as the chain first wrote it, and the lengths of the
// leading parts of it that were written with that number: a label matches a
// stored name that begins with it.
struct LabelRecord {
    std::uint32_t offset;   // in the pair's label names
    std::uint32_t lengths;  // bit n - 1 for a part of n characters; 0 for a number never written
};

enum class MapState : std::uint8_t {
    NOT_BUILT,   // no reference has come yet
    MAPPED,      // the destination is keston's output of the source
    LEFT_AS_IS,  // it is not, or could not be read: its references stay as they are
};

struct Pair {
    // As given, with keston's default extension.
    char source[FILE_NAME_SIZE];
    char destination[FILE_NAME_SIZE];
    MapState state;
    // Both names are folders: every file under the destination's pairs with
    // the file of the same relative path under the source's.
    bool folders;
    // The source line of each destination line.
    GrowingArray<std::uint32_t> source_lines;
    GrowingArray<LabelRecord> labels;  // by label number
    GrowingArray<char> label_names;
};

extern Pair* g_pairs;
extern std::uint32_t g_pair_count;

// Room for count pairs, whose names the caller then fills in. False when there is no memory.
bool allocate_pairs(std::uint32_t count);

// Room for count pairs more behind those of the command line, before
// describe_pairs: build mode pairs the includes it made with their sources.
// The names of the pairs so far are kept. False when there is no memory.
bool add_pairs(std::uint32_t count);

// After the names are in: every pair's map not built yet, and the index that
// references find their pairs by. False when there is no memory.
bool describe_pairs();

// The characters that separate a name's folders, as the system reads them.
#ifdef _WIN32
constexpr char FOLDER_SEPARATORS[] = "/\\";
#else
constexpr char FOLDER_SEPARATORS[] = "/";
#endif

// Whether c separates a name's components: '/' and '\' alike, as assemblers
// print paths in either form.
constexpr bool is_separator(char c) {
    return c == '/' || c == '\\';
}

constexpr char fold_case(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A folder's name ends in a separator: '/', or on Windows '\' as well.
bool is_folder_name(const char* name);

// The pair of a file under the destination folder of a pair of folders,
// named (length characters) as a reference spells it, relative (its path
// under that folder, relative_length characters) with '/' between the
// components: its source is the file of that path under the source folder.
// Made on the first reference, and kept where it is; null when the names do
// not fit or there is no memory.
Pair* pair_in_folders(const Pair& folders, const char* name, std::size_t length, const char* relative,
                      std::size_t relative_length);

// Names compare with letters in any case and either separator.
bool same_name(const char* a, const char* b, std::size_t length);

}  // namespace keston::map
