#include "platform/absolute_path.h"

#include <unistd.h>

#include <cstdlib>

namespace keston::platform {

namespace {

// Drops empty and "." components; ".." takes back the one before it, and
// stays at the root.
std::string normal_form(const std::string& path) {
    std::string result;
    for (std::size_t start = 0; start < path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string_view component(path.data() + start, end - start);
        if (component == "..") {
            result.resize(result.rfind('/') == std::string::npos ? 0 : result.rfind('/'));
        } else if (!component.empty() && component != ".") {
            result.append("/").append(component);
        }
        start = end + 1;
    }
    return result.empty() ? "/" : result;
}

}  // namespace

std::string absolute_path(const char* name) {
    std::string path;
    if (name[0] != '/') {
        char* const directory = ::getcwd(nullptr, 0);
        if (directory == nullptr) return {};
        path.append(directory).append("/");
        std::free(directory);
    }
    return normal_form(path.append(name));
}

}  // namespace keston::platform
