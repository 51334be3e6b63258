// Low-level descriptor I/O beneath the file streams: open, read, write, seek
// and close, with the runtime's plain integer results. Descriptors returned
// here are never 0, which the streams use for "no descriptor".
#pragma once

#include <cstdint>

namespace keston::platform {

constexpr int SEEK_FROM_START = 0;
constexpr int SEEK_FROM_END = 2;

// Opens an existing file for reading; -1 on failure. A directory fails.
int open_read(const char* name);

// Creates a file, or truncates an existing one, for writing with owner read
// and write permission; -1 on failure.
int create_write(const char* name);

// Bytes read (0 at end of file), or -1.
std::int32_t read_bytes(int fd, char* buffer, std::uint32_t count);

// Bytes written; less than count after a failure part way, -1 if none.
std::int32_t write_bytes(int fd, const char* buffer, std::uint32_t count);

// New position, or -1 on failure or when it does not fit 32 signed bits.
std::int32_t seek(int fd, std::int32_t offset, int origin);

int close(int fd);

// A name of the system's devices (/dev/stdout, /dev/null on POSIX), which
// must be used as written: no default extension.
bool is_device_name(const char* name);

// True when both names reach one FIFO or pipe, which a run could only wait
// on forever. Neither is opened: opening a FIFO without a writer waits too.
bool same_pipe(const char* first, const char* second);

}  // namespace keston::platform
