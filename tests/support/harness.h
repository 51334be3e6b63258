// Test helpers: temporary directories, whole files, and runs of the built
// keston and keston-check binaries with their standard output captured.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace keston::test {

class TempDir {
   public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "keston-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

   private:
    std::filesystem::path path_;
};

inline void write_file(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

inline std::string read_file(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "line 0", "line 1", ... each ended by LF.
inline std::string numbered_lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

inline std::string with_crlf(std::string text) {
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, 1, '\r');
    return text;
}

// The environment of a run that meets a fault of the system (io_fault.cpp) on
// the file whose path holds file: at offset for the read actions.
inline std::vector<std::string> io_fault(const std::string& file, const std::string& action, std::size_t offset = 0) {
    return {std::string("LD_PRELOAD=") + KESTON_IO_FAULT_LIBRARY, "KESTON_FAULT_FILE=/" + file,
            "KESTON_FAULT_OFFSET=" + std::to_string(offset), "KESTON_FAULT_ACTION=" + action};
}

const std::string BANNER = "\n\rKESTON source text preprocessor.  Copyright (c) 2026 the keston developers  v2.0b\n\r";

// "\n\r?KESTON-F-" text "\n\r": the form of every failure message.
inline std::string fatal(const std::string& text) {
    return "\n\r?KESTON-F-" + text + "\n\r";
}

struct RunResult {
    std::string out;     // standard output
    std::string err;     // standard error
    int exit_code = -1;  // when the process exited
    int signal = 0;      // when a signal ended it
};

struct Child {
    pid_t pid;
    int stdout_fd, stderr_fd;
};

// This build's keston or, when KESTON_WINDOWS_EXE names a Windows build of it,
// that one under wine, which takes the arguments and file names as UTF-8.
// KESTON_WINE names the loader where plain wine will not do: with 32-bit wine
// installed, wine starts a 64-bit program in a process of its own, which the
// tests' signals do not reach; wine64 runs it in the process they started.
inline std::vector<std::string> keston_command() {
    if (const char* exe = std::getenv("KESTON_WINDOWS_EXE")) {
        const char* loader = std::getenv("KESTON_WINE");
        return {"env", "WINEDEBUG=-all", "LC_ALL=C.UTF-8", loader != nullptr ? loader : "wine", exe};
    }
    return {KESTON_BINARY};
}

// How the child differs from the test's process: standard input from a file,
// descriptors closed, a file size limit, signals ignored, variables
// ("NAME=value") and a last step of its own.
struct ChildSetup {
    std::filesystem::path input = {};
    std::vector<int> closed = {};
    rlim_t file_size_limit = RLIM_INFINITY;
    std::vector<int> ignored = {};
    std::vector<std::string> environment = {};
    void (*in_child)() = nullptr;
};

// Starts command (the program and its arguments) in dir.
inline Child start_program(std::vector<std::string> command, const std::filesystem::path& dir,
                           const ChildSetup& setup = {}) {
    int fds[2], err_fds[2];
    if (::pipe(fds) != 0 || ::pipe(err_fds) != 0) return {-1, -1, -1};
    std::vector<char*> argv;
    for (std::string& arg : command) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(err_fds[1], STDERR_FILENO);
        for (const int fd : {fds[0], fds[1], err_fds[0], err_fds[1]}) ::close(fd);
        if (!setup.input.empty()) ::dup2(::open(setup.input.c_str(), O_RDONLY), STDIN_FILENO);
        for (const int fd : setup.closed) ::close(fd);
        // A test run in the background may have been started with signals
        // ignored or blocked: the child starts from the defaults.
        for (const int signal_number : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) ::signal(signal_number, SIG_DFL);
        sigset_t no_signals;
        sigemptyset(&no_signals);
        ::sigprocmask(SIG_SETMASK, &no_signals, nullptr);
        for (const int signal_number : setup.ignored) ::signal(signal_number, SIG_IGN);
        for (const std::string& variable : setup.environment) ::putenv(const_cast<char*>(variable.c_str()));
        const rlimit limit{setup.file_size_limit, setup.file_size_limit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const rlimit no_core{0, 0};  // SIGQUIT leaves no core file behind
        ::setrlimit(RLIMIT_CORE, &no_core);
        if (::chdir(dir.c_str()) != 0) ::_exit(127);
        if (setup.in_child != nullptr) setup.in_child();
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    ::close(err_fds[1]);
    return {pid, fds[0], err_fds[0]};
}

// Starts keston in dir with args (without the program name).
inline Child start_keston(std::vector<std::string> args, const std::filesystem::path& dir,
                          const ChildSetup& setup = {}) {
    std::vector<std::string> command = keston_command();
    command.insert(command.end(), args.begin(), args.end());
    return start_program(std::move(command), dir, setup);
}

// What the child wrote up to the end of its pipes, and how it ended.
inline RunResult finish(const Child& child) {
    const auto read_all = [](int fd) {
        std::string text;
        char buffer[4096];
        for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, got);
        ::close(fd);
        return text;
    };
    RunResult result{read_all(child.stdout_fd), read_all(child.stderr_fd)};
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

// Waits until the child stops, as a run meeting io_fault's "stop" does.
inline bool stopped(const Child& child) {
    int status = 0;
    return ::waitpid(child.pid, &status, WUNTRACED) == child.pid && WIFSTOPPED(status);
}

inline RunResult run_keston(std::vector<std::string> args, const std::filesystem::path& dir,
                            const ChildSetup& setup = {}) {
    return finish(start_keston(std::move(args), dir, setup));
}

// keston run by a shell of the system it was built for, with command_line
// after the program's name (arguments and redirections, which sh and cmd
// spell alike): sh here, and wine's cmd for a Windows build, whose
// redirections are the system's own files.
inline RunResult run_keston_in_shell(const std::string& command_line, const std::filesystem::path& dir) {
    if (std::getenv("KESTON_WINDOWS_EXE") != nullptr) {
        std::vector<std::string> command = keston_command();
        std::string program = "Z:" + command.back();  // wine's drive Z: is the root
        std::replace(program.begin(), program.end(), '/', '\\');
        command.back() = "cmd";
        command.insert(command.end(), {"/c", program + " " + command_line});
        return finish(start_program(std::move(command), dir));
    }
    return finish(start_program({"sh", "-c", "exec \"$0\" " + command_line, KESTON_BINARY}, dir));
}

// The command of program, which is built beside keston.
inline std::vector<std::string> companion_command(const std::string& program) {
    std::vector<std::string> command = keston_command();
    command.back().replace(command.back().rfind("keston"), 6, program);
    return command;
}

// keston-check or keston-map in dir with args.
inline RunResult run_companion(const std::string& program, std::vector<std::string> args,
                               const std::filesystem::path& dir, const ChildSetup& setup = {}) {
    std::vector<std::string> command = companion_command(program);
    command.insert(command.end(), args.begin(), args.end());
    return finish(start_program(std::move(command), dir, setup));
}

inline RunResult run_check(std::vector<std::string> args, const std::filesystem::path& dir,
                           const ChildSetup& setup = {}) {
    return run_companion("keston-check", std::move(args), dir, setup);
}

}  // namespace keston::test
