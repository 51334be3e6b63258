// Faults of the system around a run, and hostile sources: every one ends with
// its message or a correct result, never a crash, a hang or lost output.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "support/harness.h"

namespace keston::test {
namespace {

// A reader that went away is a write error, not a signal that ends the run.
TEST(Posix, PipeWithoutReaderGivesTheWriteError) {
    TempDir dir;
    write_file(dir / "in.asm", numbered_lines(20000));  // more than a pipe holds
    const Child child = start_keston({"in.asm", "/dev/stdout"}, dir.path());
    ::close(child.stdout_fd);
    EXPECT_EQ(finish({child.pid, ::open("/dev/null", O_RDONLY | O_CLOEXEC), -1}).exit_code, 0);
}

// The lines before a failed read reach the destination, the line it cuts
// short does not; keston-check tells where it stopped.
TEST(Posix, FailedReadIsReportedAndEndsTheRun) {
    const std::string source = numbered_lines(3000);
    constexpr std::size_t FAILS_AT = 20000;  // in the second 16 KiB chunk, inside a line
    const std::string before = source.substr(0, source.rfind('\n', FAILS_AT - 1) + 1);
    const std::string failed_line = std::to_string(std::count(before.begin(), before.end(), '\n') + 1);
    TempDir dir;
    write_file(dir / "in.asm", source);
    ChildSetup setup;
    setup.environment = read_fault("in.asm", FAILS_AT, "fail");
    for (const char* mode : {"-q", "-f"}) {
        const RunResult result = run_keston({mode, "in.asm", "out.asm"}, dir.path(), setup);
        EXPECT_EQ(result.out, fatal("Input file read error")) << mode;
        EXPECT_EQ(result.exit_code, 0) << mode;
        EXPECT_EQ(read_file(dir / "out.asm"), with_crlf(before)) << mode;
    }
    const RunResult check = run_check({"-a", "in.asm"}, dir.path(), setup);
    EXPECT_EQ(check.exit_code, 2);
    EXPECT_NE(check.err.find(fatal("Input file read error")), std::string::npos);
    EXPECT_NE(check.err.find("in.asm:" + failed_line + ": error: read error; the rest is not checked\n"),
              std::string::npos)
        << check.err;
}

// With -f the source's descriptor is free again when the destination is opened.
TEST(Posix, ClosedStandardDescriptorsNeitherBreakTheRunNorReachTheFiles) {
    for (const int closed : {0, 1, 2}) {
        TempDir dir;
        write_file(dir / "in.asm", "a\n" + std::string(1023, 'x') + "\n");
        ChildSetup setup;
        setup.closed = {closed};
        const RunResult result = run_keston({"-f", "in.asm", "out.asm"}, dir.path(), setup);
        EXPECT_EQ(result.exit_code, 0) << closed;
        EXPECT_EQ(read_file(dir / "out.asm"), "a\r\n") << closed;  // the message went nowhere
    }
}

TEST(Posix, UnusableFilesFailToOpen) {
    TempDir dir;
    write_file(dir / "locked.asm", "x\n");
    ::chmod((dir / "locked.asm").c_str(), 0);
    ASSERT_EQ(::truncate((write_file(dir / "huge.asm", ""), dir / "huge.asm").c_str(), 1LL << 31), 0);  // sparse
    ASSERT_EQ(::truncate((write_file(dir / "huger.asm", ""), dir / "huger.asm").c_str(), (1LL << 32) + 5), 0);
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-f", "huge.asm", "out.asm"}, fatal("Input file open failure")},
        {{"-f", "huger.asm", "out.asm"}, fatal("Input file open failure")},
        {{"in.asm", "/proc/./out.asm"}, fatal("Output file creation failure")},
        {{"locked.asm", "out.asm"}, ::geteuid() == 0 ? "" : fatal("Input file open failure")},  // root reads it
    };
    write_file(dir / "in.asm", "x\n");
    for (const auto& c : cases) {
        const RunResult result = run_keston(c.args, dir.path());
        EXPECT_EQ(result.out, c.out) << c.args[0];
        EXPECT_EQ(result.exit_code, c.out.empty() ? 0 : 255) << c.args[0];
    }
}

// The source is a FIFO, so the run waits for it and the signal always meets a running keston.
TEST(Posix, InterruptsPrintTheirMessageOnceAndEndBySignalUnlessIgnoredAtStart) {
    const struct {
        int signal;
        bool ignored;
    } cases[] = {{SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGQUIT, false}, {SIGHUP, true}, {SIGINT, true}};
    const std::string source = numbered_lines(6000);
    for (const auto& c : cases) {
        TempDir dir;
        ASSERT_EQ(::mkfifo((dir / "in.asm").c_str(), 0600), 0);
        const int writer = ::open((dir / "in.asm").c_str(), O_RDWR | O_CLOEXEC);
        ChildSetup setup;
        if (c.ignored) setup.ignored = {c.signal};
        const Child child = start_keston({"in.asm", "out.asm"}, dir.path(), setup);
        ASSERT_EQ(::write(writer, source.data(), source.size()), static_cast<ssize_t>(source.size()));
        std::error_code missing;
        for (int i = 0; i < 500 && std::filesystem::file_size(dir / "out.asm", missing) + 1 < 32769; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::kill(child.pid, c.signal);
        ::close(writer);
        const RunResult result = finish(child);
        const std::string written = read_file(dir / "out.asm");
        EXPECT_EQ(result.out, c.ignored ? "" : fatal("Operation is interrupted by user")) << c.signal;
        EXPECT_EQ(result.signal, c.ignored ? 0 : c.signal) << c.signal;
        EXPECT_GE(written.size(), 32768u) << c.signal;
        EXPECT_TRUE(c.ignored || written.size() % 16384 == 0) << c.signal;  // whole blocks only: the rest is dropped
        EXPECT_EQ(written, with_crlf(source).substr(0, c.ignored ? std::string::npos : written.size())) << c.signal;
    }
}

TEST(Hostile, SourcesEndWithTheirMessageOrACorrectResult) {
    std::mt19937 random(11);
    std::string binary(1 << 20, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    const std::string empty_lines(17 << 20, '\n');  // more than the 16 MiB piece that -f loads at a time
    std::string crlfs, labels, labelled;            // 50 scopes of 1,000 labels
    for (char c : empty_lines) crlfs.append({'\r', c});
    char number[16];
    for (int i = 0; i < 50000; ++i) {
        const std::string name = std::to_string(i % 1000);
        std::snprintf(number, sizeof number, "%04d", i);
        if (i % 1000 == 0) labels.append("proc:\n"), labelled.append("proc:\r\n");
        labels.append("\tjmp\t@@n").append(name).append("\n");
        labelled.append("\tjmp\tn").append(name).append("_").append(number).append("\r\n");
    }
    const struct {
        std::string source;
        std::vector<std::string> switches;
        std::string destination;  // "*": anything well formed; megabytes, so never printed
        std::string out;          // "*": any message
    } cases[] = {
        {binary, {"-a", "-c", "-s", "-t", "-l@@", "-e"}, "*", "*"},
        {empty_lines + std::string(1 << 20, 'x'), {}, crlfs, fatal("Line 17825793 in input source file is too long")},
        {labels, {"-l@@"}, labelled, ""},
    };
    for (const auto& c : cases) {
        for (const char* mode : {"-q", "-f"}) {
            TempDir dir;
            write_file(dir / "in.asm", c.source);
            std::vector<std::string> args = c.switches;
            args.insert(args.end(), {mode, "in.asm", "out.asm"});
            const RunResult result = run_keston(args, dir.path());
            EXPECT_EQ(result.exit_code, 0) << c.source.size() << mode;
            const std::string written = read_file(dir / "out.asm");
            EXPECT_EQ(c.out == "*" ? c.out : result.out, c.out) << c.source.size() << mode;
            EXPECT_TRUE(c.destination == "*" || written == c.destination) << c.source.size() << mode;
        }
    }
}

}  // namespace
}  // namespace keston::test
