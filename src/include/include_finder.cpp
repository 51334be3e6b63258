#include "include/include_finder.h"

#include <cstring>

#include "common/globals.h"
#include "platform/folders.h"
#include "platform/replacement.h"

namespace keston {

namespace {

#ifdef _WIN32
constexpr char FOLDER_ENDS[] = "/\\:";
#else
constexpr char FOLDER_ENDS[] = "/";
#endif

constexpr bool is_separator(char c) {
    return c == '/' || c == '\\';
}

std::uint32_t skip_blanks(const char* line, std::uint32_t at, std::uint32_t length) {
    while (at < length && is_blank(line[at])) ++at;
    return at;
}

// "include" in any case at 'at', with a blank behind it.
bool is_include_word(const char* line, std::uint32_t at, std::uint32_t length) {
    constexpr char WORD[] = "include";
    constexpr std::uint32_t WORD_LENGTH = sizeof WORD - 1;
    if (length - at <= WORD_LENGTH || !is_blank(line[at + WORD_LENGTH])) return false;
    for (std::uint32_t i = 0; i < WORD_LENGTH; ++i) {
        if ((line[at + i] | 0x20) != WORD[i]) return false;
    }
    return true;
}

// The length of the folder part of name, its last separator included.
std::size_t folder_length(const char* name) {
    std::size_t length = 0;
    for (std::size_t i = 0; name[i] != '\0'; ++i) {
        if (std::strchr(FOLDER_ENDS, name[i]) != nullptr) length = i + 1;
    }
    return length;
}

bool is_file(const char* name) {
    return platform::same_regular_file(name, name);
}

// path names no file as written: each component that is not there is
// looked for in any case, in place. False when one is not found once.
bool match_components(char* path) {
    char entry[INCLUDE_PATH_SIZE];
    std::size_t start = path[0] == '/' ? 1 : 0;
    while (path[start] != '\0') {
        std::size_t end = start;
        while (path[end] != '\0' && path[end] != '/') ++end;
        const char kept = path[end];
        path[end] = '\0';
        const bool dots = std::strcmp(path + start, ".") == 0 || std::strcmp(path + start, "..") == 0;
        if (!dots && !is_file(path) && !platform::is_folder(path)) {
            const char* const folder = start == 0 ? "." : start == 1 && path[0] == '/' ? "/" : path;
            if (start > 1) path[start - 1] = '\0';
            const int matches =
                platform::find_entry_in_any_case(folder, path + start, end - start, entry, sizeof entry);
            if (start > 1) path[start - 1] = '/';
            if (matches != 1) return false;
            std::memcpy(path + start, entry, end - start);
        }
        path[end] = kept;
        start = kept == '\0' ? end : end + 1;
    }
    return is_file(path);
}

// The candidate folder + name, or name itself, as found.
bool find_as(const char* folder, std::size_t length_of_folder, const char* name, std::size_t length, char* found) {
    if (length_of_folder + length >= INCLUDE_PATH_SIZE) return false;
    std::memcpy(found, folder, length_of_folder);
    // Every system takes '/', which names print alike everywhere then.
    for (std::size_t i = 0; i < length; ++i) found[length_of_folder + i] = name[i] == '\\' ? '/' : name[i];
    found[length_of_folder + length] = '\0';
    return is_file(found) || match_components(found);
}

bool is_absolute(const char* name, std::size_t length) {
#ifdef _WIN32
    if (length >= 2 && name[1] == ':') return true;
#endif
    return length != 0 && is_separator(name[0]);
}

// Takes "." and "x/.." out of a relative path, in place.
void tidy(char* path) {
    char* out = path;
    for (const char* in = path; *in != '\0';) {
        std::size_t length = 0;
        while (in[length] != '\0' && !is_separator(in[length])) ++length;
        const bool dot = length == 1 && in[0] == '.';
        const bool up = length == 2 && in[0] == '.' && in[1] == '.';
        // The component before, which ".." takes back unless it is ".." too.
        char* previous = out;
        if (out > path) {
            previous = out - 1;
            while (previous > path && !is_separator(previous[-1])) --previous;
        }
        const bool takes_back = up && out > path && !(out - previous == 3 && previous[0] == '.' && previous[1] == '.');
        if (takes_back) {
            out = previous;
        } else if (!dot && length != 0) {
            std::memmove(out, in, length);
            out += length;
            if (in[length] != '\0') *out++ = '/';
        }
        in += length;
        while (is_separator(*in)) ++in;
    }
    if (out > path && is_separator(out[-1]) && out - 1 > path) --out;
    *out = '\0';
}

}  // namespace

bool find_include_name(const char* line, std::uint32_t length, std::uint32_t* start, std::uint32_t* end) {
    std::uint32_t at = skip_blanks(line, 0, length);
    if (at < length && line[at] == '%') ++at;
    if (!is_include_word(line, at, length)) return false;
    at = skip_blanks(line, at + 7, length);
    const char* const comment = static_cast<const char*>(std::memchr(line + at, ';', length - at));
    std::uint32_t stop = comment != nullptr ? static_cast<std::uint32_t>(comment - line) : length;
    while (stop > at && is_blank(line[stop - 1])) --stop;
    const char opener = line[at];
    if (stop - at > 2 && (opener == '"' || opener == '\'' || opener == '<') &&
        line[stop - 1] == (opener == '<' ? '>' : opener)) {
        ++at;
        --stop;
    }
    *start = at;
    *end = stop;
    return stop > at;
}

bool find_included_file(const char* includer, const char* name, std::size_t length, char* found) {
    if (length == 0) return false;
    const std::size_t beside = is_absolute(name, length) ? 0 : folder_length(includer);
    return (beside != 0 && find_as(includer, beside, name, length, found)) || find_as("", 0, name, length, found);
}

bool find_file_in_any_case(const char* name, char* found) {
    return find_as("", 0, name, std::strlen(name), found);
}

bool join_include_path(const char* from, const char* name, std::size_t length, char* joined) {
    const std::size_t beside = is_absolute(name, length) ? 0 : folder_length(from);
    if (beside + length >= INCLUDE_PATH_SIZE) return false;
    std::memcpy(joined, from, beside);
    for (std::size_t i = 0; i < length; ++i) joined[beside + i] = name[i] == '\\' ? '/' : name[i];
    joined[beside + length] = '\0';
    if (!is_absolute(joined, beside + length)) tidy(joined);
    return true;
}

}  // namespace keston
