// keston-map's own notes on standard error: "keston-map: " and the text.
#pragma once

namespace keston::map {

// One note, in order with the command's own lines on standard error.
[[gnu::format(printf, 1, 2)]] void note(const char* format, ...);

}  // namespace keston::map
