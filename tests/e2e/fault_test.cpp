// Faults of the system around a run, and hostile sources: every one ends with
// its message or a correct result, never a crash, a hang or lost output.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

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

// keston-check and keston-map end as grep does when the reader of their
// output goes away: by the signal, without a word. Where the signal was
// ignored at start, on a full disk and past the file-size limit, the write
// fails with one note.
TEST(Posix, CheckersInAPipeEndByTheSignalWhenTheReaderGoesAway) {
    TempDir dir;
    std::string source, messages;  // either makes more output than a pipe holds
    for (int i = 0; i < 3000; ++i) {
        source += " db 'a;b'\n";
        messages += "out.asm:1: a message about a line of the destination\n";
    }
    write_file(dir / "in.asm", source);
    write_file(dir / "messages.txt", messages);
    ASSERT_EQ(run_keston({"-a", "in.asm", "out.asm"}, dir.path()).exit_code, 0);
    const auto without_reader = [&dir](const std::string& program, const ChildSetup& setup) {
        std::vector<std::string> command = companion_command(program);
        command.insert(command.end(), {"-a", "in.asm", "out.asm"});  // two sources for keston-check
        const Child child = start_program(command, dir.path(), setup);
        ::close(child.stdout_fd);
        return finish({child.pid, ::open("/dev/null", O_RDONLY | O_CLOEXEC), child.stderr_fd});
    };
    const ChildSetup write_failures[] = {
        {.input = dir / "messages.txt", .ignored = {SIGPIPE}},
        {.input = dir / "messages.txt", .in_child = [] { ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO); }},
        {.input = dir / "messages.txt", .file_size_limit = 4096, .in_child = [] {
             ::dup2(::open("report.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
         }}};
    for (const std::string program : {"keston-check", "keston-map"}) {
        const RunResult gone = without_reader(program, {.input = dir / "messages.txt"});
        EXPECT_EQ(gone.signal, SIGPIPE) << program;
        EXPECT_EQ(gone.err, "") << program;
        for (const ChildSetup& setup : write_failures) {
            const RunResult failed = without_reader(program, setup);
            EXPECT_EQ(failed.err, program + ": standard output: write error\n");
            EXPECT_EQ(failed.exit_code, 2);
        }
    }
}

// The lines before a failed read reach the destination, the line it cuts
// short does not; keston-check tells where it stopped.
TEST(Posix, FailedReadIsReportedAndEndsTheRun) {
    const std::string source = numbered_lines(3000);
    constexpr std::size_t FAILS_AT = 20005;  // in the second 16 KiB chunk, inside a line
    const std::string before = source.substr(0, source.rfind('\n', FAILS_AT - 1) + 1);
    const std::string failed_line = std::to_string(std::count(before.begin(), before.end(), '\n') + 1);
    TempDir dir;
    write_file(dir / "in.asm", source);
    const ChildSetup setup{.environment = io_fault("in.asm", "fail", FAILS_AT)};
    for (const char* mode : {"-q", "-f"}) {
        const RunResult result = run_keston({mode, "in.asm", "out.asm"}, dir.path(), setup);
        EXPECT_EQ(result.out, fatal("Input file read error")) << mode;
        EXPECT_EQ(result.exit_code, 0) << mode;
        EXPECT_EQ(read_file(dir / "out.asm"), with_crlf(before)) << mode;
    }
    const RunResult check = run_check({"-a", "in.asm"}, dir.path(), setup);
    EXPECT_EQ(check.exit_code, 2);
    EXPECT_EQ(check.err, fatal("Input file read error") + "in.asm:" + failed_line +
                             ": error: read error; the rest is not checked\n");
}

// A file system that reports a failed write only when the file is closed
// (NFS, FUSE) gets the flush's message like any failed write.
TEST(Posix, FailedCloseOfTheDestinationIsReported) {
    TempDir dir;
    write_file(dir / "in.asm", "a\n");
    const RunResult result =
        run_keston({"in.asm", "out.asm"}, dir.path(), {.environment = io_fault("out.asm", "close")});
    EXPECT_EQ(result.out, "\n\r?KESTON-I-Write file error while flushing data\n\r");
    EXPECT_EQ(result.exit_code, 0);
}

// One pipe as source and destination could only wait forever, on its own
// writer or on a writer that never comes: refused before either is opened.
TEST(Posix, OnePipeAsSourceAndDestinationIsRefused) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "f.asm").c_str(), 0600), 0);
    for (const char* script : {"echo x | timeout 10 \"$0\" /dev/stdin /dev/stdin", "timeout 10 \"$0\" f.asm ./f.asm"}) {
        const RunResult result = finish(start_program({"sh", "-c", script, KESTON_BINARY}, dir.path()));
        EXPECT_EQ(result.out, fatal("Output file creation failure")) << script;
        EXPECT_EQ(result.exit_code, 255) << script;
    }
}

// With -f the source's descriptor is free again when the destination is opened.
TEST(Posix, ClosedStandardDescriptorsNeitherBreakTheRunNorReachTheFiles) {
    for (const int closed : {0, 1, 2}) {
        TempDir dir;
        write_file(dir / "in.asm", "a\n" + std::string(1023, 'x') + "\n");
        const RunResult result = run_keston({"-f", "in.asm", "out.asm"}, dir.path(), {.closed = {closed}});
        EXPECT_EQ(result.exit_code, 0) << closed;
        EXPECT_EQ(read_file(dir / "out.asm"), "a\r\n") << closed;  // the message went nowhere
    }
}

// Whole-file mode refuses a source of 2 GiB or more (sparse files here),
// also in the Windows build: a size past 32 bits is not taken for its low part.
TEST(Hostile, WholeFileModeRefusesSourcesOf2GiBOrMore) {
    TempDir dir;
    for (const off_t size : {1LL << 31, (1LL << 32) + 4}) {
        write_file(dir / "huge.asm", "");
        ASSERT_EQ(::truncate((dir / "huge.asm").c_str(), size), 0);
        const RunResult result = run_keston({"-f", "huge.asm", "out.asm"}, dir.path());
        EXPECT_EQ(result.out, fatal("Input file open failure")) << size;
        EXPECT_EQ(result.exit_code, 255) << size;
    }
}

// An interrupt drops what the destination's buffer holds: whole blocks only
// reach the file. The read shim stops the run two blocks into its output.
TEST(Posix, InterruptedRunWritesWholeBlocksOnly) {
    const std::string source = numbered_lines(6000);
    TempDir dir;
    write_file(dir / "in.asm", source);
    const Child child =
        start_keston({"in.asm", "out.asm"}, dir.path(), {.environment = io_fault("in.asm", "stop", 40000)});
    ASSERT_TRUE(stopped(child));
    ::kill(child.pid, SIGINT);
    ::kill(child.pid, SIGCONT);
    const RunResult result = finish(child);
    EXPECT_EQ(result.out, fatal("Operation is interrupted by user"));
    EXPECT_EQ(result.signal, SIGINT);
    EXPECT_EQ(read_file(dir / "out.asm"), with_crlf(source).substr(0, 32768));
}

// More than the 16 MiB piece that -f loads at a time and more lines than 24
// bits count, up to a line that is too long: every line before it comes out.
TEST(Hostile, HugeSourceEndsWithTheMessageOfItsLongLine) {
    const std::string empty_lines(17 << 20, '\n');
    std::string crlfs;
    for (char c : empty_lines) crlfs.append({'\r', c});
    TempDir dir;
    write_file(dir / "in.asm", empty_lines + std::string(1 << 20, 'x'));
    for (const char* mode : {"-q", "-f"}) {
        const RunResult result = run_keston({mode, "in.asm", "out.asm"}, dir.path());
        EXPECT_EQ(result.out, fatal("Line 17825793 in input source file is too long")) << mode;
        EXPECT_EQ(result.exit_code, 0) << mode;
        EXPECT_TRUE(read_file(dir / "out.asm") == crlfs) << mode;  // megabytes, so never printed
    }
}

}  // namespace
}  // namespace keston::test
