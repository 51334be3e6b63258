#include "platform/replacement.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/windows/descriptors.h"

namespace keston::platform {

namespace {

char g_target_path[MAX_PATH];
char g_temporary_path[MAX_PATH];
// The temporary file's descriptor while it is open, so that the console
// handler can close it before removing the file.
volatile LONG g_temporary_fd = -1;
volatile LONG g_temporary_exists = 0;

// Volume and file index of an existing file, which together name it.
bool identify(const char* name, BY_HANDLE_FILE_INFORMATION* info) {
    const HANDLE file =
        ::CreateFileA(name, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, info) != 0;
    ::CloseHandle(file);
    return known && (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The directory part of the target's full path, where the temporary file goes.
bool target_directory(const char* target, char* directory) {
    char* file_part = nullptr;
    const DWORD length = ::GetFullPathNameA(target, MAX_PATH, g_target_path, &file_part);
    if (length == 0 || length >= MAX_PATH || file_part == nullptr) return false;
    const auto directory_length = static_cast<std::size_t>(file_part - g_target_path);
    std::memcpy(directory, g_target_path, directory_length);
    directory[directory_length] = '\0';
    return true;
}

}  // namespace

bool same_regular_file(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    if (!identify(first, &a) || !identify(second, &b)) return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

int create_replacement(const char* target) {
    char directory[MAX_PATH];
    if (!target_directory(target, directory)) return -1;
    // GetTempFileName creates the file, under a name no other file has.
    if (::GetTempFileNameA(directory, "kst", 0, g_temporary_path) == 0) return -1;
    ::InterlockedExchange(&g_temporary_exists, 1);
    const int opened = ::_open(g_temporary_path, _O_WRONLY | _O_TRUNC | _O_BINARY | _O_SEQUENTIAL);
    const int fd = opened < 0 ? -1 : avoid_descriptor_zero(opened);
    if (fd < 0) {
        discard_replacement();
        return -1;
    }
    ::InterlockedExchange(&g_temporary_fd, fd);
    return fd;
}

// MoveFileEx writes the data through before it moves the name.
int complete_replacement() {
    return 0;
}

int commit_replacement() {
    ::InterlockedExchange(&g_temporary_fd, -1);
    if (g_temporary_exists == 0) return -1;
    if (::MoveFileExA(g_temporary_path, g_target_path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        discard_replacement();
        return -1;
    }
    ::InterlockedExchange(&g_temporary_exists, 0);
    return 0;
}

void discard_replacement() {
    ::InterlockedExchange(&g_temporary_fd, -1);
    if (::InterlockedExchange(&g_temporary_exists, 0) != 0) ::DeleteFileA(g_temporary_path);
}

// The console handler runs on a thread of its own while the run goes on: an
// open file cannot be deleted, so its descriptor is closed first.
void discard_replacement_on_interrupt() {
    const LONG fd = ::InterlockedExchange(&g_temporary_fd, -1);
    if (fd > 0) ::_close(static_cast<int>(fd));
    discard_replacement();
}

}  // namespace keston::platform
