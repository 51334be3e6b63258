#include "platform/folders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace keston::platform {

namespace {

bool same_in_any_case(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) return false;
    }
    return true;
}

}  // namespace

bool is_folder(const char* name) {
    struct stat status {};
    return ::stat(name, &status) == 0 && S_ISDIR(status.st_mode);
}

// Folders get what the umask leaves of every permission, as mkdir -p gives them.
int make_folder(const char* name) {
    return ::mkdir(name, 0777) == 0 ? 0 : -1;
}

int remove_folder(const char* name) {
    return ::rmdir(name) == 0 ? 0 : -1;
}

int find_entry_in_any_case(const char* folder, const char* name, std::size_t length, char* found, std::size_t size) {
    DIR* const listing = length < size ? ::opendir(folder) : nullptr;
    if (listing == nullptr) return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(listing)) {
        if (std::strlen(entry->d_name) != length || !same_in_any_case(entry->d_name, name, length)) continue;
        if (++count > 1) break;
        std::memcpy(found, entry->d_name, length + 1);
    }
    ::closedir(listing);
    return count;
}

}  // namespace keston::platform
