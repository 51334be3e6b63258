#include "platform/replacement.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "platform/process.h"
#include "platform/windows/descriptors.h"

namespace keston::platform {

namespace {

// The six X are replaced by letters and digits until the name is new.
constexpr char TEMPORARY_NAME[] = ".keston-XXXXXX";
constexpr std::size_t UNIQUE_LENGTH = 6;
constexpr char UNIQUE_CHARACTERS[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr int CREATE_ATTEMPTS = 100;
// Room for the longest path the system takes (32767 UTF-16 units) when it is
// ASCII; a path whose UTF-8 bytes do not fit fails.
constexpr DWORD PATH_BYTES = 32768;
// Every handle on the temporary file lets it be deleted while open: the
// console handler deletes it while the run goes on writing, and the system
// removes it once the process has ended.
constexpr DWORD TEMPORARY_SHARING = FILE_SHARE_DELETE;

char g_target_path[PATH_BYTES];
char g_temporary_path[PATH_BYTES];
// Volume and file index of the replaced file when the replacement was created.
BY_HANDLE_FILE_INFORMATION g_target;
// Set while the temporary file exists under its own name; read by the
// console handler.
volatile LONG g_temporary_exists = 0;

// Attributes, volume and file index of an existing file (not a directory),
// opened with the access given.
bool identify(const char* name, DWORD access, BY_HANDLE_FILE_INFORMATION* info) {
    const HANDLE file = ::CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file, info) != 0;
    ::CloseHandle(file);
    return known && (info->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Volume and file index together name a file.
bool same_identity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// The target's full path, and the temporary file's in the same directory.
bool name_temporary(const char* target) {
    char* file_part = nullptr;
    const DWORD length = ::GetFullPathNameA(target, PATH_BYTES, g_target_path, &file_part);
    if (length == 0 || length >= PATH_BYTES || file_part == nullptr) return false;
    const auto directory_length = static_cast<std::size_t>(file_part - g_target_path);
    if (directory_length + sizeof TEMPORARY_NAME > sizeof g_temporary_path) return false;
    std::memcpy(g_temporary_path, g_target_path, directory_length);
    std::memcpy(g_temporary_path + directory_length, TEMPORARY_NAME, sizeof TEMPORARY_NAME);
    return true;
}

// Another six characters for the end of the temporary name, from a linear
// congruential sequence (Knuth's MMIX constants) that starts differently in
// every process.
void vary_unique_part(std::uint64_t& state) {
    char* unique = g_temporary_path + std::strlen(g_temporary_path) - UNIQUE_LENGTH;
    for (std::size_t i = 0; i < UNIQUE_LENGTH; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        unique[i] = UNIQUE_CHARACTERS[(state >> 33) % (sizeof UNIQUE_CHARACTERS - 1)];
    }
}

// Creates the temporary file under a name that no file had; the handle, or
// INVALID_HANDLE_VALUE with nothing created.
HANDLE create_temporary() {
    std::uint64_t state = (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount64();
    for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
        vary_unique_part(state);
        const HANDLE file = ::CreateFileA(g_temporary_path, GENERIC_WRITE, TEMPORARY_SHARING, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// A runtime descriptor for the handle, which it then owns; -1, with the
// handle closed, on failure.
int descriptor_of(HANDLE file) {
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_BINARY);
    if (fd >= 0) return avoid_descriptor_zero(fd);
    ::CloseHandle(file);
    return -1;
}

}  // namespace

bool same_regular_file(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return identify(first, FILE_READ_ATTRIBUTES, &a) && identify(second, FILE_READ_ATTRIBUTES, &b) &&
           same_identity(a, b);
}

// A file that cannot be opened for writing, or has the read-only attribute
// (which the replacement would not keep everywhere), is not replaced.
int create_replacement(const char* target) {
    if (!name_temporary(target) || !identify(g_target_path, FILE_READ_ATTRIBUTES | FILE_WRITE_DATA, &g_target) ||
        (g_target.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        return -1;
    // An interrupt waits until the new file is marked for the handler to remove.
    hold_interrupts();
    const HANDLE file = create_temporary();
    if (file != INVALID_HANDLE_VALUE) ::InterlockedExchange(&g_temporary_exists, 1);
    const int fd = file == INVALID_HANDLE_VALUE ? -1 : descriptor_of(file);
    release_interrupts();
    if (fd < 0) discard_replacement();
    return fd;
}

// The data goes to the disk before the name does, so that no crash can leave
// the name on an empty or partial file.
int complete_replacement() {
    const HANDLE file = ::CreateFileA(g_temporary_path, GENERIC_WRITE, TEMPORARY_SHARING, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    const BOOL flushed = ::FlushFileBuffers(file);
    ::CloseHandle(file);
    return flushed != 0 ? 0 : -1;
}

bool replacement_target_unchanged() {
    BY_HANDLE_FILE_INFORMATION now{};
    return identify(g_target_path, FILE_READ_ATTRIBUTES, &now) && same_identity(now, g_target);
}

// ReplaceFile keeps the replaced file's attributes, access list and creation
// time; when it fails, the replaced file keeps its name and content.
int commit_replacement() {
    if (g_temporary_exists == 0) return -1;
    if (::ReplaceFileA(g_target_path, g_temporary_path, nullptr, 0, nullptr, nullptr) == 0) {
        discard_replacement();
        return -1;
    }
    ::InterlockedExchange(&g_temporary_exists, 0);
    return 0;
}

void discard_replacement() {
    if (::InterlockedExchange(&g_temporary_exists, 0) != 0) ::DeleteFileA(g_temporary_path);
}

void discard_replacement_on_interrupt() {
    if (g_temporary_exists != 0) ::DeleteFileA(g_temporary_path);
}

}  // namespace keston::platform
