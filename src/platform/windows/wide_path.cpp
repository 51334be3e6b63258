#include "platform/windows/wide_path.h"

#include <cwchar>

namespace keston::platform {

namespace {

// C:\x becomes \\?\C:\x, and \\server\share\x becomes \\?\UNC\server\share\x.
constexpr wchar_t LOCAL_PREFIX[] = L"\\\\?\\";
constexpr wchar_t SHARE_PREFIX[] = L"\\\\?\\UNC\\";
constexpr wchar_t SHARE_START[] = L"\\\\";
// A device (\\.\NUL) is never a long path.
constexpr wchar_t DEVICE_START[] = L"\\\\.\\";

wchar_t g_full_path[WIDE_PATH_SIZE];

template <std::size_t N>
constexpr std::size_t length_of(const wchar_t (&)[N]) {
    return N - 1;
}

template <std::size_t N>
bool starts_with(const wchar_t* text, const wchar_t (&start)[N]) {
    return std::wcsncmp(text, start, length_of(start)) == 0;
}

// prefix, then the full path (full_length units) without its first skip units.
template <std::size_t N>
bool prefix_full_path(const wchar_t (&prefix)[N], std::size_t skip, std::size_t full_length, wchar_t* path) {
    const std::size_t rest = full_length - skip;
    if (length_of(prefix) + rest >= WIDE_PATH_SIZE) return false;
    std::wmemcpy(path, prefix, length_of(prefix));
    std::wmemcpy(path + length_of(prefix), g_full_path + skip, rest + 1);
    return true;
}

}  // namespace

bool extend_path(wchar_t* path) {
    const DWORD length = ::GetFullPathNameW(path, WIDE_PATH_SIZE, g_full_path, nullptr);
    if (length == 0 || length >= WIDE_PATH_SIZE) return false;
    if (length < MAX_PATH || starts_with(g_full_path, LOCAL_PREFIX) || starts_with(g_full_path, DEVICE_START))
        return true;
    if (starts_with(g_full_path, SHARE_START))
        return prefix_full_path(SHARE_PREFIX, length_of(SHARE_START), length, path);
    return prefix_full_path(LOCAL_PREFIX, 0, length, path);
}

bool wide_path(const char* name, wchar_t* path) {
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, path, WIDE_PATH_SIZE) != 0 &&
           extend_path(path);
}

}  // namespace keston::platform
