#include "platform/replacement.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "platform/handler_array.h"
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

// A suffix on the temporary name: the original's name while the renames run.
constexpr wchar_t KEPT_SUFFIX[] = L".orig";

// The replacement being made: the name of the replaced file as given, in
// UTF-16, its real path (symbolic links resolved), and the temporary file's
// path beside it, before it joins the waiting ones.
wchar_t g_name_path[WIDE_PATH_SIZE];
wchar_t g_target_path[WIDE_PATH_SIZE];
wchar_t g_temporary_path[WIDE_PATH_SIZE];
// Volume and file index of the replaced file when the replacement was created.
BY_HANDLE_FILE_INFORMATION g_target;

// A waiting replacement: its temporary path, NUL, the target's real path,
// NUL, and room for the path the original takes during the renames.
struct Waiting {
    wchar_t* paths;
    std::size_t temporary_length;
    std::size_t target_length;
    BY_HANDLE_FILE_INFORMATION target;
    bool kept;     // the original is at its second path
    bool renamed;  // the temporary path is gone, the file in the target's place
    bool noted;    // the caller has been told what became of it
};
// Read by the console handler: the count goes up only once an entry is
// complete and its temporary file exists, and down once the file is gone.
Waiting* g_waiting = nullptr;
volatile LONG g_waiting_count = 0;
std::size_t g_waiting_room = 0;
// The temporary name of the last waiting replacement in UTF-8.
char g_replacement_name[3 * WIDE_PATH_SIZE];

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

const wchar_t* temporary_of(const Waiting& waiting) {
    return waiting.paths;
}

const wchar_t* target_of(const Waiting& waiting) {
    return waiting.paths + waiting.temporary_length + 1;
}

wchar_t* kept_path_of(const Waiting& waiting) {
    return waiting.paths + waiting.temporary_length + 1 + waiting.target_length + 1;
}

Waiting& last_waiting() {
    return g_waiting[g_waiting_count - 1];
}

bool reaches_original(const Waiting& waiting) {
    BY_HANDLE_FILE_INFORMATION now{};
    return identify(target_of(waiting), &now) && same_identity(now, waiting.target);
}

bool make_room() {
    return make_room_for_handler(g_waiting, static_cast<std::size_t>(g_waiting_count), g_waiting_room);
}

// Forgets the last entry, deleting its temporary file unless it is in the
// target's place, and the original's second path unless the original is to
// be found only there.
void forget_last(bool original_kept) {
    const Waiting& waiting = last_waiting();
    wchar_t* const paths = waiting.paths;
    if (waiting.kept && !original_kept) ::DeleteFileW(kept_path_of(waiting));
    if (!waiting.renamed) ::DeleteFileW(paths);
    ::InterlockedDecrement(&g_waiting_count);
    std::free(paths);
}

// The original of every target also under a second path beside its
// temporary file, a hard link; false when one cannot have it, with its index
// in *failed.
bool keep_originals(std::size_t count, std::size_t* failed) {
    for (std::size_t i = 0; i < count; ++i) {
        Waiting& waiting = g_waiting[i];
        wchar_t* const kept = kept_path_of(waiting);
        std::wmemcpy(kept, temporary_of(waiting), waiting.temporary_length);
        std::wmemcpy(kept + waiting.temporary_length, KEPT_SUFFIX, std::size(KEPT_SUFFIX));
        waiting.kept = ::CreateHardLinkW(kept, target_of(waiting), nullptr) != 0;
        if (!waiting.kept) {
            *failed = i;
            return false;
        }
    }
    return true;
}

// ReplaceFile keeps the replaced file's access list and creation time; when
// it fails, the replaced file keeps its name and content.
bool replace(Waiting* waiting) {
    waiting->renamed = ::ReplaceFileW(target_of(*waiting), temporary_of(*waiting), nullptr, 0, nullptr, nullptr) != 0;
    return waiting->renamed;
}

bool rename_all(std::size_t count, std::size_t* failed) {
    for (std::size_t i = 0; i < count; ++i) {
        if (!replace(&g_waiting[i])) {
            *failed = i;
            return false;
        }
    }
    return true;
}

bool put_back(Waiting* waiting) {
    if (::MoveFileExW(kept_path_of(*waiting), target_of(*waiting), MOVEFILE_REPLACE_EXISTING) == 0) return false;
    waiting->kept = false;
    return true;
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

std::uint64_t regular_file_links(const char* name) {
    BY_HANDLE_FILE_INFORMATION info{};
    return identify_name(name, &info) ? info.nNumberOfLinks : 0;
}

// A file that cannot be opened for writing, or has the read-only attribute
// (which the replacement would not keep everywhere), is not replaced.
int create_replacement(const char* target) {
    if (!find_target(target) || (g_target.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 || !name_temporary() ||
        !make_room())
        return -1;
    const std::size_t temporary_length = std::wcslen(g_temporary_path);
    const std::size_t target_length = std::wcslen(g_target_path);
    auto* const paths = static_cast<wchar_t*>(
        std::malloc((2 * temporary_length + target_length + std::size(KEPT_SUFFIX) + 2) * sizeof(wchar_t)));
    if (paths == nullptr) return -1;
    // An interrupt waits until the new file is listed for the handler to remove.
    hold_interrupts();
    const HANDLE file = create_temporary();
    if (file != INVALID_HANDLE_VALUE) {
        std::wmemcpy(paths, g_temporary_path, temporary_length + 1);
        std::wmemcpy(paths + temporary_length + 1, g_target_path, target_length + 1);
        g_waiting[g_waiting_count] = {paths, temporary_length, target_length, g_target, false, false, false};
        ::InterlockedIncrement(&g_waiting_count);
    }
    const int fd = descriptor_of(file, _O_WRONLY);
    release_interrupts();
    if (file == INVALID_HANDLE_VALUE) std::free(paths);
    if (fd < 0 && file != INVALID_HANDLE_VALUE) forget_last(false);
    return fd;
}

// The data goes to the disk before the name does, so that no crash can leave
// the name on an empty or partial file.
int complete_replacement() {
    const HANDLE file = ::CreateFileW(temporary_of(last_waiting()), GENERIC_WRITE, TEMPORARY_SHARING, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    const bool completed = take_original_attributes(file) && ::FlushFileBuffers(file) != 0;
    ::CloseHandle(file);
    return completed ? 0 : -1;
}

bool replacement_target_unchanged() {
    return g_waiting_count > 0 && reaches_original(last_waiting());
}

const char* replacement_name() {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, temporary_of(last_waiting()), -1, g_replacement_name,
                                             sizeof g_replacement_name, nullptr, nullptr);
    if (length == 0) g_replacement_name[0] = '\0';
    return g_replacement_name;
}

int commit_replacement() {
    if (g_waiting_count != 1) return -1;
    if (!replace(&last_waiting())) {
        discard_replacement();
        return -1;
    }
    forget_last(false);
    return 0;
}

std::size_t commit_replacements(UnreplacedNote note) {
    hold_interrupts();
    const auto count = static_cast<std::size_t>(g_waiting_count);
    std::size_t noted = 0;
    char kept_as[3 * WIDE_PATH_SIZE];
    const auto tell = [&](std::size_t i, Unreplaced why, const wchar_t* kept) {
        if (kept != nullptr && ::WideCharToMultiByte(CP_UTF8, 0, kept, -1, kept_as, sizeof kept_as, nullptr, nullptr) == 0)
            kept_as[0] = '\0';
        note(i, why, kept != nullptr ? kept_as : nullptr);
        g_waiting[i].noted = true;
        ++noted;
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (!reaches_original(g_waiting[i])) tell(i, Unreplaced::target_changed, nullptr);
    }
    std::size_t failed = 0;
    // One file alone needs no way back: its replacement either happens or not.
    if (noted == 0 && count > 1 && !keep_originals(count, &failed)) tell(failed, Unreplaced::original_not_kept, nullptr);
    if (noted == 0 && !rename_all(count, &failed)) {
        tell(failed, Unreplaced::not_renamed, nullptr);
        for (std::size_t i = 0; i < failed; ++i) {
            const bool back = put_back(&g_waiting[i]);
            tell(i, back ? Unreplaced::put_back : Unreplaced::not_put_back, back ? nullptr : kept_path_of(g_waiting[i]));
        }
    }
    for (std::size_t i = 0; i < count && noted != 0; ++i) {
        if (!g_waiting[i].noted) tell(i, Unreplaced::held_back, nullptr);
    }
    while (g_waiting_count > 0) forget_last(last_waiting().renamed && noted != 0);
    release_interrupts();
    return noted;
}

void discard_replacement() {
    while (g_waiting_count > 0) forget_last(false);
}

void discard_replacement_on_interrupt() {
    for (LONG i = 0; i < g_waiting_count; ++i) ::DeleteFileW(temporary_of(g_waiting[i]));
}

}  // namespace keston::platform
