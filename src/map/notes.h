// keston-map's own notes on standard error: "keston-map: " and the text.
#pragma once

#include <cstdint>

namespace keston::map {

// One note, in order with the command's own lines on standard error.
[[gnu::format(printf, 1, 2)]] void note(const char* format, ...);

// A message in the compilers' form, "file:line: error: text", which editors
// and build logs take in; line 0 where no line is to blame.
[[gnu::format(printf, 3, 4)]] void error_at(const char* file, std::uint64_t line, const char* format, ...);

}  // namespace keston::map
