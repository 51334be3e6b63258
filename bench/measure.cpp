// Runs one command and prints its wall time in seconds and its peak resident
// set in KiB to standard error, as "<seconds> <KiB>". Standard output of the
// command goes to the file given with -o, if any.
//
//   measure [-o <file>] <command> [<argument>...]
//
// A small launcher of its own keeps the benchmark's interpreter out of the
// peak that the system reports for the child.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    int first = 1;
    const char* output = nullptr;
    if (argc > 2 && std::strcmp(argv[1], "-o") == 0) {
        output = argv[2];
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: measure [-o <file>] <command> [<argument>...]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        if (output != nullptr) {
            const int fd = ::open(output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0) ::_exit(126);
        }
        ::execvp(argv[first], argv + first);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "%.6f %ld\n", elapsed.count(), usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
