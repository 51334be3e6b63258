#include "support/run_keston.h"

#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace keston::test {

Child start_keston(const std::vector<std::string>& args, const std::filesystem::path& dir) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    std::vector<char*> argv;
    std::string program = KESTON_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipe_fds[1], STDOUT_FILENO);
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    return {pid, pipe_fds[0]};
}

RunResult finish(const Child& child) {
    RunResult result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(child.stdout_fd, buffer, sizeof buffer)) > 0;) result.out.append(buffer, got);
    ::close(child.stdout_fd);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

}  // namespace keston::test
