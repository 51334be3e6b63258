#include "map/notes.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "map/output.h"

namespace keston::map {

namespace {

// Two paths and the words around them.
constexpr int LONGEST_NOTE = 8192;

// The text behind its start, cut where it would pass the room, and a line end.
void put_line(char* text, int length, const char* format, va_list arguments) {
    length = std::min(length, LONGEST_NOTE - 2);
    length += std::vsnprintf(text + length, LONGEST_NOTE - static_cast<unsigned>(length), format, arguments);
    length = std::min(length, LONGEST_NOTE - 2);
    text[length++] = '\n';
    put(g_errors, text, static_cast<std::uint32_t>(length));
    flush(g_errors);
}

}  // namespace

void note(const char* format, ...) {
    char text[LONGEST_NOTE];
    va_list arguments;
    va_start(arguments, format);
    put_line(text, std::snprintf(text, sizeof text, "keston-map: "), format, arguments);
    va_end(arguments);
}

void error_at(const char* file, std::uint64_t line, const char* format, ...) {
    char text[LONGEST_NOTE];
    va_list arguments;
    va_start(arguments, format);
    put_line(text, std::snprintf(text, sizeof text, "%s:%" PRIu64 ": error: ", file, line), format, arguments);
    va_end(arguments);
}

}  // namespace keston::map
