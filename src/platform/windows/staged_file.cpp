#include "platform/staged_file.h"

#include <fcntl.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/handler_array.h"
#include "platform/process.h"
#include "platform/windows/descriptors.h"
#include "platform/windows/wide_path.h"

namespace keston::platform {

namespace {

// The six X are replaced by letters and digits until the name is new.
constexpr char TEMPORARY_NAME[] = ".keston-XXXXXX";
constexpr std::size_t UNIQUE_LENGTH = 6;
constexpr char UNIQUE_CHARACTERS[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr int CREATE_ATTEMPTS = 100;
// A rename that meets the destination open in another process (a reader, or
// a second run renaming at the same moment) is tried again a while later.
constexpr int RENAME_ATTEMPTS = 50;
constexpr DWORD RENAME_PAUSE_MS = 20;
// Every handle on a staged file lets it be deleted while open: the console
// handler deletes it while the run goes on writing.
constexpr DWORD STAGED_SHARING = FILE_SHARE_READ | FILE_SHARE_DELETE;

// A staged file: its temporary name and the destination's, in UTF-16.
struct Staged {
    wchar_t* temporary;
    wchar_t* destination;
    char* temporary_name;  // as the caller reads it, UTF-8
};

// Read by the console handler under the interrupt lock.
Staged* g_staged = nullptr;
LONG g_staged_count = 0;
LONG g_staged_room = 0;

wchar_t g_path[WIDE_PATH_SIZE];

wchar_t* copy_wide(const wchar_t* text) {
    const std::size_t size = (std::wcslen(text) + 1) * sizeof(wchar_t);
    void* const copy = std::malloc(size);
    if (copy != nullptr) std::memcpy(copy, text, size);
    return static_cast<wchar_t*>(copy);
}

bool make_room() {
    return make_room_for_handler(g_staged, static_cast<std::size_t>(g_staged_count), g_staged_room);
}

void free_staged(const Staged& staged) {
    std::free(staged.temporary);
    std::free(staged.destination);
    std::free(staged.temporary_name);
}

void remove_last() {
    hold_interrupts();
    const Staged staged = g_staged[--g_staged_count];
    release_interrupts();
    ::DeleteFileW(staged.temporary);
    free_staged(staged);
}

// Another six characters for the end of the temporary name, from a linear
// congruential sequence (Knuth's MMIX constants) that starts differently in
// every process.
void vary_unique_part(char* name, std::uint64_t& state) {
    char* const unique = name + std::strlen(name) - UNIQUE_LENGTH;
    for (std::size_t i = 0; i < UNIQUE_LENGTH; ++i) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        unique[i] = UNIQUE_CHARACTERS[(state >> 33) % (sizeof UNIQUE_CHARACTERS - 1)];
    }
}

// Creates the file under a name that no file had; the handle, or
// INVALID_HANDLE_VALUE with nothing created.
HANDLE create_new(char* name) {
    std::uint64_t state = (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^ ::GetTickCount64();
    for (int attempt = 0; attempt < CREATE_ATTEMPTS; ++attempt) {
        vary_unique_part(name, state);
        if (!wide_path(name, g_path)) return INVALID_HANDLE_VALUE;
        const HANDLE file = ::CreateFileW(g_path, GENERIC_WRITE, STAGED_SHARING, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

bool rename_over(const Staged& staged) {
    for (int attempt = 0; attempt < RENAME_ATTEMPTS; ++attempt) {
        if (::MoveFileExW(staged.temporary, staged.destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
        ::Sleep(RENAME_PAUSE_MS);
    }
    return false;
}

}  // namespace

// A new file of the system's, which takes the folder's access list.
int stage_file(const char* destination, const char** temporary) {
    if (!make_room()) return -1;
    std::size_t folder_length = 0;
    for (const char* at = destination; *at != '\0'; ++at) {
        if (*at == '/' || *at == '\\' || *at == ':') folder_length = static_cast<std::size_t>(at - destination) + 1;
    }
    char* const name = static_cast<char*>(std::malloc(folder_length + sizeof TEMPORARY_NAME));
    if (name == nullptr) return -1;
    std::memcpy(name, destination, folder_length);
    std::memcpy(name + folder_length, TEMPORARY_NAME, sizeof TEMPORARY_NAME);
    hold_interrupts();
    const HANDLE file = create_new(name);
    Staged staged{file == INVALID_HANDLE_VALUE ? nullptr : copy_wide(g_path), nullptr, name};
    if (staged.temporary != nullptr && wide_path(destination, g_path)) staged.destination = copy_wide(g_path);
    if (staged.destination != nullptr) g_staged[g_staged_count++] = staged;
    release_interrupts();
    if (staged.destination == nullptr) {
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            ::DeleteFileW(staged.temporary);
        }
        free_staged(staged);
        return -1;
    }
    const int fd = descriptor_of(file, _O_WRONLY);
    if (fd < 0) {
        remove_last();
        return -1;
    }
    *temporary = name;
    return fd;
}

void unstage_last() {
    if (g_staged_count > 0) remove_last();
}

std::size_t commit_staged() {
    while (g_staged_count > 0) {
        const Staged staged = g_staged[g_staged_count - 1];
        if (!rename_over(staged)) {
            const auto left = static_cast<std::size_t>(g_staged_count);
            discard_staged();
            return left;
        }
        hold_interrupts();
        --g_staged_count;
        release_interrupts();
        free_staged(staged);
    }
    return 0;
}

void discard_staged() {
    while (g_staged_count > 0) remove_last();
}

void discard_staged_on_interrupt() {
    for (LONG i = 0; i < g_staged_count; ++i) ::DeleteFileW(g_staged[i].temporary);
}

int renew_time(const char* name) {
    if (!wide_path(name, g_path)) return -1;
    const HANDLE file =
        ::CreateFileW(g_path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const bool renewed = ::SetFileTime(file, nullptr, nullptr, &now) != 0;
    ::CloseHandle(file);
    return renewed ? 0 : -1;
}

std::int64_t modification_time(const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!wide_path(name, g_path) || ::GetFileAttributesExW(g_path, GetFileExInfoStandard, &data) == 0) return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                     data.ftLastWriteTime.dwLowDateTime);
}

}  // namespace keston::platform
