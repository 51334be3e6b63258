#include "map/notes.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "map/output.h"

namespace keston::map {

namespace {

// Two names of a file and the words around them.
constexpr int LONGEST_NOTE = 1024;

}  // namespace

void note(const char* format, ...) {
    char text[LONGEST_NOTE];
    int length = std::snprintf(text, sizeof text, "keston-map: ");
    va_list arguments;
    va_start(arguments, format);
    length += std::vsnprintf(text + length, sizeof text - static_cast<unsigned>(length), format, arguments);
    va_end(arguments);
    length = std::min(length, LONGEST_NOTE - 2);
    text[length++] = '\n';
    put(g_errors, text, static_cast<std::uint32_t>(length));
    flush(g_errors);
}

}  // namespace keston::map
