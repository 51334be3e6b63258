// Runs the built keston binary as a child process and captures its standard output.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace keston::test {

struct RunResult {
    std::string out;
    int exit_code = -1;  // when it exited
    int signal = 0;      // when a signal ended it
};

struct Child {
    pid_t pid;
    int stdout_fd;
};

// Starts keston in directory dir with the given arguments (no program name).
Child start_keston(const std::vector<std::string>& args, const std::filesystem::path& dir);
RunResult finish(const Child& child);

inline RunResult run_keston(const std::vector<std::string>& args, const std::filesystem::path& dir) {
    return finish(start_keston(args, dir));
}

// "\n\r?KESTON-F-" text "\n\r": the form of every failure message.
inline std::string fatal(const std::string& text) { return "\n\r?KESTON-F-" + text + "\n\r"; }

}  // namespace keston::test
