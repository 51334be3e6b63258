#include "platform/replacement.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <iterator>

#include "platform/process.h"
#include "platform/windows/descriptors.h"
#include "platform/windows/file_identity.h"
#include "platform/windows/wide_path.h"

namespace keston::platform {

namespace {

// The six X are replaced by letters and digits until the name is new.
constexpr wchar_t TEMPORARY_NAME[] = L".keston-XXXXXX";
constexpr std::size_t UNIQUE_LENGTH = 6;
constexpr char UNIQUE_CHARACTERS[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr int CREATE_ATTEMPTS = 100;
// Every handle on the temporary file lets it be deleted while open: the
// console handler deletes it while the run goes on writing, and the system
// removes it once the process has ended.
constexpr DWORD TEMPORARY_SHARING = FILE_SHARE_DELETE;
// The replaced file's attributes that the result takes. The others belong to
// the file system (compressed, sparse) or are refused (read-only).
constexpr DWORD KEPT_ATTRIBUTES =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The name of the replaced file as given, in UTF-16.
wchar_t g_name_path[WIDE_PATH_SIZE];
// The real path of the replaced file (symbolic links resolved), and the
// temporary file's beside it.
wchar_t g_target_path[WIDE_PATH_SIZE];
wchar_t g_temporary_path[WIDE_PATH_SIZE];
// Volume and file index of the replaced file when the replacement was created.
BY_HANDLE_FILE_INFORMATION g_target;
// Set while the temporary file exists under its own name; read by the
// console handler.
volatile LONG g_temporary_exists = 0;

// The open file's path on its volume, behind the length it has in bytes:
// the layout of FILE_NAME_INFO with room for the longest path.
struct PathOnVolume {
    DWORD bytes;
    wchar_t path[WIDE_PATH_SIZE];
};
PathOnVolume g_path_on_volume;

// Wine gives the real path only up to 260 characters. Past them, the file's
// path on its volume, after the root of the volume that its name is on,
// stands in for it where that reaches the same file (a link to another
// volume does not).
bool take_path_on_volume(HANDLE file) {
    if (::GetFileInformationByHandleEx(file, FileNameInfo, &g_path_on_volume, sizeof g_path_on_volume) == 0 ||
        ::GetVolumePathNameW(g_name_path, g_target_path, WIDE_PATH_SIZE) == 0)
        return false;
    const std::size_t root_length = std::wcslen(g_target_path) - 1;  // without its closing separator
    const std::size_t path_length = g_path_on_volume.bytes / sizeof(wchar_t);
    if (root_length + path_length >= WIDE_PATH_SIZE) return false;
    std::wmemcpy(g_target_path + root_length, g_path_on_volume.path, path_length);
    g_target_path[root_length + path_length] = L'\0';
    BY_HANDLE_FILE_INFORMATION found{};
    return extend_path(g_target_path) && identify(g_target_path, &found) && same_identity(found, g_target);
}

// The real path of the open file, symbolic links resolved, which the system
// gives with the prefix.
bool take_real_path(HANDLE file) {
    const DWORD length =
        ::GetFinalPathNameByHandleW(file, g_target_path, WIDE_PATH_SIZE, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return (length != 0 && length < WIDE_PATH_SIZE) || take_path_on_volume(file);
}

// The file that target reaches, opened as its writer would (the rewrite is
// the user's to make only where they could write the file itself): its
// identity and attributes, and its real path, so that a symbolic link
// stays and the file it leads to is replaced.
bool find_target(const char* target) {
    if (!wide_path(target, g_name_path)) return false;
    const HANDLE file = open_existing(g_name_path, FILE_READ_ATTRIBUTES | FILE_WRITE_DATA);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool found = identify_open(file, &g_target) && take_real_path(file);
    ::CloseHandle(file);
    return found;
}

// The temporary file's path, in the directory of the target's real path.
bool name_temporary() {
    const wchar_t* const separator = std::wcsrchr(g_target_path, L'\\');
    if (separator == nullptr) return false;
    const auto directory_length = static_cast<std::size_t>(separator + 1 - g_target_path);
    if (directory_length + std::size(TEMPORARY_NAME) > std::size(g_temporary_path)) return false;
    std::wmemcpy(g_temporary_path, g_target_path, directory_length);
    std::wmemcpy(g_temporary_path + directory_length, TEMPORARY_NAME, std::size(TEMPORARY_NAME));
    return true;
}

// Another six characters for the end of the temporary name, from a linear
// congruential sequence (Knuth's MMIX constants) that starts differently in
// every process.
void vary_unique_part(std::uint64_t& state) {
    wchar_t* unique = g_temporary_path + std::wcslen(g_temporary_path) - UNIQUE_LENGTH;
    for (std::size_t i = 0; i < UNIQUE_LENGTH; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        unique[i] = static_cast<wchar_t>(UNIQUE_CHARACTERS[(state >> 33) % (sizeof UNIQUE_CHARACTERS - 1)]);
    }
}

// Creates the temporary file under a name that no file had; the handle, or
// INVALID_HANDLE_VALUE with nothing created.
HANDLE create_temporary() {
    std::uint64_t state = (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount64();
    for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
        vary_unique_part(state);
        const HANDLE file = ::CreateFileW(g_temporary_path, GENERIC_WRITE, TEMPORARY_SHARING, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// The replaced file's attributes, set on the result once it is written, as a
// write sets the archive attribute.
bool take_original_attributes(HANDLE file) {
    FILE_BASIC_INFO basic{};  // times of zero are left as they are
    basic.FileAttributes = g_target.dwFileAttributes & KEPT_ATTRIBUTES;
    if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

}  // namespace

bool same_regular_file(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    return identify_name(first, &a) && identify_name(second, &b) && same_identity(a, b);
}

bool regular_file_key(const char* name, RegularFileKey* key) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!identify_name(name, &info)) return false;
    *key = {info.dwVolumeSerialNumber,
            (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

// A file that cannot be opened for writing, or has the read-only attribute
// (which the replacement would not keep everywhere), is not replaced.
int create_replacement(const char* target) {
    if (!find_target(target) || (g_target.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 || !name_temporary())
        return -1;
    // An interrupt waits until the new file is marked for the handler to remove.
    hold_interrupts();
    const HANDLE file = create_temporary();
    if (file != INVALID_HANDLE_VALUE) ::InterlockedExchange(&g_temporary_exists, 1);
    const int fd = descriptor_of(file, _O_WRONLY);
    release_interrupts();
    if (fd < 0) discard_replacement();
    return fd;
}

// The data goes to the disk before the name does, so that no crash can leave
// the name on an empty or partial file.
int complete_replacement() {
    const HANDLE file = ::CreateFileW(g_temporary_path, GENERIC_WRITE, TEMPORARY_SHARING, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    const bool completed = take_original_attributes(file) && ::FlushFileBuffers(file) != 0;
    ::CloseHandle(file);
    return completed ? 0 : -1;
}

bool replacement_target_unchanged() {
    BY_HANDLE_FILE_INFORMATION now{};
    return identify(g_target_path, &now) && same_identity(now, g_target);
}

// ReplaceFile keeps the replaced file's access list and creation time; when
// it fails, the replaced file keeps its name and content.
int commit_replacement() {
    if (g_temporary_exists == 0) return -1;
    if (::ReplaceFileW(g_target_path, g_temporary_path, nullptr, 0, nullptr, nullptr) == 0) {
        discard_replacement();
        return -1;
    }
    ::InterlockedExchange(&g_temporary_exists, 0);
    return 0;
}

void discard_replacement() {
    if (::InterlockedExchange(&g_temporary_exists, 0) != 0) ::DeleteFileW(g_temporary_path);
}

void discard_replacement_on_interrupt() {
    if (g_temporary_exists != 0) ::DeleteFileW(g_temporary_path);
}

}  // namespace keston::platform
