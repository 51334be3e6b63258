#include "platform/folders.h"

#include <windows.h>

#include <cstring>

#include "platform/windows/wide_path.h"

namespace keston::platform {

namespace {

wchar_t g_path[WIDE_PATH_SIZE];

}  // namespace

bool is_folder(const char* name) {
    if (!wide_path(name, g_path)) return false;
    const DWORD attributes = ::GetFileAttributesW(g_path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int make_folder(const char* name) {
    return wide_path(name, g_path) && ::CreateDirectoryW(g_path, nullptr) != 0 ? 0 : -1;
}

int remove_folder(const char* name) {
    return wide_path(name, g_path) && ::RemoveDirectoryW(g_path) != 0 ? 0 : -1;
}

// The file system ignores case: the entry it finds is the only one, with
// the name as the folder spells it.
int find_entry_in_any_case(const char* folder, const char* name, std::size_t length, char* found, std::size_t size) {
    const std::size_t folder_length = std::strlen(folder);
    char pattern[MAX_PATH * 3];
    if (folder_length + 1 + length >= sizeof pattern) return 0;
    std::memcpy(pattern, folder, folder_length);
    pattern[folder_length] = '\\';
    std::memcpy(pattern + folder_length + 1, name, length);
    pattern[folder_length + 1 + length] = '\0';
    if (std::strpbrk(pattern + folder_length + 1, "*?") != nullptr || !wide_path(pattern, g_path)) return 0;
    WIN32_FIND_DATAW entry;
    const HANDLE search = ::FindFirstFileW(g_path, &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    ::FindClose(search);
    const int written =
        ::WideCharToMultiByte(CP_UTF8, 0, entry.cFileName, -1, found, static_cast<int>(size), nullptr, nullptr);
    return written > 0 ? 1 : 0;
}

}  // namespace keston::platform
