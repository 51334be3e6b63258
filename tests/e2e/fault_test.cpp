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

std::string numbered_lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}

std::string with_crlf(std::string text) {
    for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.insert(at, 1, '\r');
    return text;
}

TEST(Posix, FileSizeLimitGivesTheWriteErrorNotSigxfsz) {
    TempDir dir;
    write_file(dir / "in.asm", numbered_lines(5000));
    const RunResult result = run_keston({"in.asm", "out.asm"}, dir.path(), {.closed = {}, .file_size_limit = 20000});
    EXPECT_EQ(result.out, fatal("Output file write error"));
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(read_file(dir / "out.asm"), with_crlf(numbered_lines(5000)).substr(0, 20000));
}

TEST(Posix, ClosedStandardDescriptorsNeitherBreakTheRunNorReachTheFiles) {
    for (const int closed : {0, 1, 2}) {
        TempDir dir;
        write_file(dir / "in.asm", "a\n" + std::string(1023, 'x') + "\n");
        const RunResult result = run_keston({"in.asm", "out.asm"}, dir.path(), {.closed = {closed}});
        EXPECT_EQ(result.exit_code, 0) << closed;
        EXPECT_EQ(read_file(dir / "out.asm"), "a\r\n") << closed;  // the message went nowhere
    }
}

TEST(Posix, UnusableFilesFailToOpen) {
    TempDir dir;
    write_file(dir / "locked.asm", "x\n");
    ::chmod((dir / "locked.asm").c_str(), 0);
    ASSERT_EQ(::truncate((write_file(dir / "huge.asm", ""), dir / "huge.asm").c_str(), 1LL << 31), 0);  // sparse
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-f", "huge.asm", "out.asm"}, fatal("Input file open failure")},
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

TEST(Posix, InterruptMidRunKeepsTheBlocksWrittenAndEndsBySignal) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "in.asm").c_str(), 0600), 0);
    const int writer = ::open((dir / "in.asm").c_str(), O_RDWR);
    const std::string source = numbered_lines(6000);
    const Child child = start_keston({"in.asm", "out.asm"}, dir.path());
    ASSERT_EQ(::write(writer, source.data(), source.size()), static_cast<ssize_t>(source.size()));
    std::error_code missing;
    for (int i = 0; i < 500 && std::filesystem::file_size(dir / "out.asm", missing) + 1 < 32769; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child.pid, SIGINT);
    const RunResult result = finish(child);
    ::close(writer);
    EXPECT_EQ(result.out, fatal("Operation is interrupted by user"));
    EXPECT_EQ(result.signal, SIGINT);
    const std::string written = read_file(dir / "out.asm");
    EXPECT_GE(written.size(), 32768u);
    EXPECT_EQ(written.size() % 16384, 0u);  // whole blocks only: the buffered rest is dropped
    EXPECT_EQ(written, with_crlf(source).substr(0, written.size()));
}

TEST(Hostile, SourcesEndWithTheirMessageOrACorrectResult) {
    std::mt19937 random(11);
    std::string binary(1 << 20, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    std::string labels, labelled;  // 50 scopes of 1,000 labels
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
        std::string destination;  // "*": anything well formed
        std::string out;          // "*": any message
    } cases[] = {
        {binary, {"-a", "-c", "-s", "-t", "-l@@", "-e"}, "*", "*"},
        {std::string(1000, '\0') + std::string("\n\0\0\n", 4), {"-s", "-t"}, "\r\n\r\n", ""},
        {std::string(2000, '\r') + "abc\r", {}, "abc\r\n", ""},
        {std::string(400, 'a') + std::string(700, '\r') + std::string(700, 'b'),
         {},
         "",
         fatal("Line 1 in input source file is too long")},
        {std::string(100 << 20, 'x'), {}, "", fatal("Line 1 in input source file is too long")},
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
            EXPECT_EQ(c.destination == "*" ? c.destination : written, c.destination) << c.source.size() << mode;
        }
    }
}

}  // namespace
}  // namespace keston::test
