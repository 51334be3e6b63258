// Which file a name or a descriptor reaches, on POSIX: device and inode
// together name a file, whatever the spelling, link or descriptor.
#pragma once

#include <sys/stat.h>

namespace keston::platform {

inline bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace keston::platform
