#include "platform/absolute_path.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace keston::platform {

namespace {

// Rewrites an absolute path in place: empty and "." components go, ".." takes
// back the component before it and stays at the root. The result is never
// longer than the path.
void resolve_dots(char* path) {
    char* out = path;
    for (const char* in = path; *in != '\0';) {
        while (*in == '/') ++in;
        const std::size_t length = std::strcspn(in, "/");
        if (length == 2 && in[0] == '.' && in[1] == '.') {
            while (out > path && *--out != '/') {
            }
        } else if (length != 0 && !(length == 1 && in[0] == '.')) {
            *out++ = '/';
            std::memmove(out, in, length);
            out += length;
        }
        in += length;
    }
    if (out == path) *out++ = '/';
    *out = '\0';
}

}  // namespace

char* absolute_path(const char* name) {
    char* const directory = name[0] == '/' ? nullptr : ::getcwd(nullptr, 0);
    if (name[0] != '/' && directory == nullptr) return nullptr;
    const char* const base = directory == nullptr ? "" : directory;
    const std::size_t base_length = std::strlen(base);
    const std::size_t name_length = std::strlen(name);
    auto* const path = static_cast<char*>(std::malloc(base_length + 1 + name_length + 1));
    if (path != nullptr) {
        std::memcpy(path, base, base_length);
        path[base_length] = '/';
        std::memcpy(path + base_length + 1, name, name_length + 1);
        resolve_dots(path);
    }
    std::free(directory);
    return path;
}

}  // namespace keston::platform
