// Names as the system's wide functions take them. Names arrive as UTF-8
// bytes; the wide functions take UTF-16, and reach past the 260 characters
// of a plain path only through a full path with the \\?\ prefix, which no
// Windows setting can take away.
#pragma once

#include <windows.h>

namespace keston::platform {

// Room for the longest path the system takes, in UTF-16 units.
constexpr DWORD WIDE_PATH_SIZE = 32768;

// path (WIDE_PATH_SIZE units) made fit for the wide functions: kept as it
// stands where its full path is short enough to be taken so (device names
// such as NUL and CON keep their meaning), otherwise replaced by its full path
// with the prefix. False for a path too long for the system.
bool extend_path(wchar_t* path);

// The name in UTF-16 into path (WIDE_PATH_SIZE units), as extend_path makes
// it. False for a name that is not UTF-8 or too long.
bool wide_path(const char* name, wchar_t* path);

}  // namespace keston::platform
