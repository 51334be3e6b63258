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

// A reader that went away is a write error, not a signal that ends the run.
TEST(Posix, PipeWithoutReaderGivesTheWriteError) {
    TempDir dir;
    write_file(dir / "in.asm", numbered_lines(20000));  // more than a pipe holds
    const Child child = start_keston({"in.asm", "/dev/stdout"}, dir.path());
    ::close(child.stdout_fd);
    EXPECT_EQ(finish({child.pid, ::open("/dev/null", O_RDONLY | O_CLOEXEC), -1}).exit_code, 0);
}

// With -f the source's descriptor is free again when the destination is opened.
TEST(Posix, ClosedStandardDescriptorsNeitherBreakTheRunNorReachTheFiles) {
    for (const int closed : {0, 1, 2}) {
        TempDir dir;
        write_file(dir / "in.asm", "a\n" + std::string(1023, 'x') + "\n");
        const RunResult result = run_keston({"-f", "in.asm", "out.asm"}, dir.path(),
                                            {.closed = {closed}, .file_size_limit = RLIM_INFINITY, .ignored = {}});
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

// Source x.ASM, reached also as link.asm (symbolic) and hard.asm (hard link).
struct InPlaceDir {
    TempDir dir;
    explicit InPlaceDir(const std::string& source, std::filesystem::perms mode = std::filesystem::perms::owner_all) {
        write_file(dir / "x.ASM", source);
        std::filesystem::permissions(dir / "x.ASM", mode);
        std::filesystem::create_directory(dir / "d");
        std::filesystem::create_symlink("x.ASM", dir / "link.asm");
        std::filesystem::create_hard_link(dir / "x.ASM", dir / "hard.asm");
    }
    // Nothing but the names the test made: no temporary file is left behind.
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) found.insert(entry.path().filename());
        return found;
    }
};
const std::set<std::string> IN_PLACE_NAMES = {"d", "hard.asm", "link.asm", "x.ASM"};

TEST(Posix, InPlaceFailuresLeaveTheSourceByteForByte) {
    std::string names = "p:\n";
    for (int i = 0; i < 1024; ++i) names += " @@" + std::to_string(1000000000 + i) + std::string(22, 'n') + "\n";
    constexpr rlim_t NO_LIMIT = RLIM_INFINITY;
    const struct {
        std::string source;
        std::vector<std::string> args;
        rlim_t file_size_limit;
        std::string out;
        int exit_code;
    } cases[] = {
        // clang-format off
        {"a\n", {"-l@", "x.ASM", "x.ASM"}, NO_LIMIT, fatal("Invalid Local label prefix specified"), 255},
        {"a\n" + std::string(1023, 'x') + "\n", {"x", "./x.ASM"}, NO_LIMIT,
         fatal("Line 2 in input source file is too long"), 0},
        {"a\n\t" + std::string(1016, 'x') + "\n", {"-s", "d/../x.ASM", "x"}, NO_LIMIT,
         fatal("Line 2 is too long after tab conversion"), 0},
        {"p:\n @@" + std::string(33, 'n') + "\n", {"-l@@", "link.asm", "x.ASM"}, NO_LIMIT,
         fatal("Local label name is too long in line 2"), 0},
        {names, {"-l@@", "-f", "x.ASM", "link.asm"}, NO_LIMIT, fatal("Local label name array oveflow at line 1025"), 0},
        // 37,390 bytes: the limit cuts the second block short and no third follows
        {numbered_lines(3500), {"x.ASM", "hard.asm"}, 20000, fatal("Output file write error"), 0},
        {numbered_lines(5), {"-f", "hard.asm", "x"}, 10, "\n\r?KESTON-I-Write file error while flushing data\n\r", 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        InPlaceDir place(c.source);
        const RunResult result =
            run_keston(c.args, place.dir.path(), {.closed = {}, .file_size_limit = c.file_size_limit, .ignored = {}});
        EXPECT_EQ(result.out, c.out) << c.args[1];
        EXPECT_EQ(result.exit_code, c.exit_code) << c.args[1];
        EXPECT_EQ(read_file(place.dir / "x.ASM"), c.source) << c.args[1];
        EXPECT_EQ(place.names(), IN_PLACE_NAMES) << c.args[1];
    }
}

TEST(Posix, CompleteInPlaceRunReplacesTheFileKeepingModeAndLinks) {
    using std::filesystem::perms;
    const auto mode = perms::owner_read | perms::owner_write | perms::group_read | perms::others_exec;
    for (const char* read_mode : {"-q", "-f"}) {
        InPlaceDir place("a ; x\nb\n", mode);
        const RunResult result = run_keston({"-a", read_mode, "x", "link.asm"}, place.dir.path());
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(read_file(place.dir / "x.ASM"), "a\r\nb\r\n");
        EXPECT_EQ(std::filesystem::status(place.dir / "x.ASM").permissions(), mode);
        EXPECT_TRUE(std::filesystem::is_symlink(place.dir / "link.asm"));
        EXPECT_EQ(read_file(place.dir / "hard.asm"), "a ; x\nb\n");  // the other name keeps the old file
        EXPECT_EQ(place.names(), IN_PLACE_NAMES);
    }
}

// Wherever the signal falls once the handler is in place (the temporary file
// exists), the source is untouched when the message says so, and otherwise
// (a run that ended first) the whole result. Also run against the Windows
// build, where wine turns SIGINT into the console's Ctrl+C.
TEST(InPlace, InterruptedRunLeavesTheSourceAsItWas) {
    std::string source;
    for (int i = 0; i < 400000; ++i) source += "@@l" + std::to_string(i % 50) + ":\tmov\tax, bx   ; note\n";
    const std::vector<int> signals = std::getenv("KESTON_WINDOWS_EXE") != nullptr
                                         ? std::vector<int>{SIGINT}
                                         : std::vector<int>{SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    const std::vector<std::string> args = {"-a", "-s", "-t", "-l@@", "x.ASM", "x.ASM"};
    InPlaceDir reference(source);
    ASSERT_EQ(run_keston(args, reference.dir.path()).exit_code, 0);
    const std::string result = read_file(reference.dir / "x.ASM");
    int interrupted_rounds = 0;
    for (int round = 0; round < 8; ++round) {
        InPlaceDir place(source);
        const Child child = start_keston(args, place.dir.path());
        for (int i = 0; i < 10000 && place.names() == IN_PLACE_NAMES; ++i)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        std::this_thread::sleep_for(std::chrono::milliseconds(30 * round));
        ::kill(child.pid, signals[round % signals.size()]);
        const RunResult run = finish(child);
        const bool interrupted = run.out == fatal("Operation is interrupted by user");
        interrupted_rounds += interrupted ? 1 : 0;
        EXPECT_TRUE(interrupted || run.out.empty()) << round;
        EXPECT_TRUE(read_file(place.dir / "x.ASM") == (interrupted ? source : result)) << round;
        EXPECT_EQ(place.names(), IN_PLACE_NAMES) << round;
    }
    EXPECT_GT(interrupted_rounds, 0);
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
