// The I/O floor of the benchmark: copies a file with 16 KiB reads and writes,
// the same block size keston uses, and nothing else.
//
//   copy_floor <source> <destination>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: copy_floor <source> <destination>\n");
        return 2;
    }
    const int in = ::open(argv[1], O_RDONLY);
    const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0) return 1;
    static char block[16384];
    for (ssize_t got; (got = ::read(in, block, sizeof block)) > 0;) {
        if (::write(out, block, static_cast<size_t>(got)) != got) return 1;
    }
    return ::close(out) == 0 ? 0 : 1;
}
