#include "platform/windows/file_identity.h"

#include "platform/windows/wide_path.h"

namespace keston::platform {

namespace {

constexpr DWORD ANY_SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The name being identified, in UTF-16.
wchar_t g_identified_path[WIDE_PATH_SIZE];

}  // namespace

HANDLE open_existing(const wchar_t* path, DWORD access) {
    return ::CreateFileW(path, access, ANY_SHARING, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool identify_open(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
    return ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, info) != 0 &&
           (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool identify(const wchar_t* path, BY_HANDLE_FILE_INFORMATION* info) {
    const HANDLE file = open_existing(path, FILE_READ_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = identify_open(file, info);
    ::CloseHandle(file);
    return known;
}

bool identify_name(const char* name, BY_HANDLE_FILE_INFORMATION* info) {
    return wide_path(name, g_identified_path) && identify(g_identified_path, info);
}

bool same_identity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace keston::platform
