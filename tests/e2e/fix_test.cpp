// keston-check -x over several sources: every source rewritten, or none.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <regex>

#include "support/harness.h"

namespace keston::test {
namespace {

const std::string A = "p:\n@@1: ret\n", FIXED_A = "p:\n@@n1: ret\n";
const std::string B = "q:\n@@2: ret\n", FIXED_B = "q:\n@@n2: ret\n";

// The source as -x rewrites A or B at their start.
std::string fixed(const std::string& source) {
    return (source.starts_with(A) ? FIXED_A : FIXED_B) + source.substr(A.size());
}

std::string notes_on(const std::string& a, const std::string& b) {
    return a + ":2:1: note: renamed @@1 to @@n1 [invalid-name]\n" + b +
           ":2:1: note: renamed @@2 to @@n2 [invalid-name]\n";
}

std::string warnings_on(const std::string& a, const std::string& b) {
    return a + ":2:1: warning: -l@@ makes @@1 the invalid name 1_0000 [invalid-name]\n" + b +
           ":2:1: warning: -l@@ makes @@2 the invalid name 2_0000 [invalid-name]\n";
}

std::string error(const std::string& file, const std::string& text) {
    return file + ":0: error: " + text + "\n";
}

const std::string HELD_BACK = "not rewritten: another source cannot be rewritten";

// Any failure in one source leaves every source as it was, with each reason
// on standard error, and no file of the run behind; one source named twice
// (another spelling, a link to it) is one source.
TEST(Posix, FixRewritesEverySourceOrNone) {
    const std::string long_line = "q:\n@@2: ret\n" + std::string(1100, 'x') + "\n";
    std::string long_source = A;  // more than the rewritten bytes gather before they are written
    for (int i = 0; i < 20000; ++i) long_source += " nop\n";
    const struct {
        std::string setup;  // a shell command in the folder, which holds a.asm and b.asm
        std::vector<std::string> sources;
        std::vector<std::string> fault;  // io_fault's arguments
        std::string out;
        std::string err;
        int exit_code;
        bool rewritten;
        std::string b = B;
        std::string a = A;
    } cases[] = {
        // clang-format off
        {"ln -s a.asm link.asm", {"a.asm", "./a.asm", "link.asm", "b.asm"}, {}, "a.asm:2:1: note: renamed @@1 to @@n1 "
         "[invalid-name]\na.asm:3:6: warning: -l@@ leaves @@x undefined here: the scope from line 1 does not define it "
         "[undefined-name]\nb.asm:2:1: note: renamed @@2 to @@n2 [invalid-name]\n", "", 1, true, B, A + " jmp @@x\n"},
        {"chattr +i b.asm 2>/dev/null || chmod 0444 b.asm", {"a.asm", "b.asm"}, {}, warnings_on("a.asm", "b.asm"),
         error("b.asm", "not rewritten: it cannot be replaced with its access and settings kept") +
         error("a.asm", HELD_BACK), 2, false},
        {"mkfifo f.asm", {"a.asm", "b.asm", "f.asm"}, {}, warnings_on("a.asm", "b.asm"),
         error("f.asm", "not rewritten: not a regular file") + error("a.asm", HELD_BACK) + error("b.asm", HELD_BACK), 2,
         false},
        {"ln b.asm c.asm", {"a.asm", "b.asm"}, {}, warnings_on("a.asm", "b.asm"),
         error("b.asm", "not rewritten: it has other names (hard links), which a new file in its place would part it "
               "from") + error("a.asm", HELD_BACK), 2, false},
        {"true", {"a.asm", "b.asm"}, {"b.asm", "fail-once", "0"}, warnings_on("a.asm", "b.asm"),
         error("b.asm", "not rewritten: read error") + error("a.asm", HELD_BACK), 2, false},
        {"true", {"a.asm", "b.asm"}, {"b.asm", "rename", "0"}, notes_on("a.asm", "b.asm"),
         error("b.asm", "not rewritten: write error") +
         error("a.asm", "not rewritten: put back as it was, as another source could not be replaced"), 2, false},
        {"mkdir sub && mv b.asm sub && ln -s sub/b.asm b.asm", {"a.asm", "b.asm"}, {"sub/.keston-", "close", "0"},
         warnings_on("a.asm", "b.asm"), error("b.asm", "not rewritten: write error") + error("a.asm", HELD_BACK), 2,
         false},
        // a write of the rewritten source that failed is not made good by the writes after it
        {"true", {"a.asm", "b.asm"}, {".keston-", "write-once", "0"}, warnings_on("a.asm", "b.asm"),
         error("a.asm", "not rewritten: write error") + error("b.asm", HELD_BACK), 2, false, B, long_source},
        {"true", {"a.asm", "b.asm"}, {}, warnings_on("a.asm", "b.asm"),
         error("b.asm", "not rewritten: keston stops at line 3") + error("a.asm", HELD_BACK) +
         "\n\r?KESTON-F-Line 3 in input source file is too long\n\r" +
         "b.asm:3: error: keston stops at this line; the rest is not checked\n", 2, false, long_line},
        // clang-format on
    };
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "a.asm", c.a);
        write_file(dir / "b.asm", c.b);
        ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && " + c.setup).c_str()), 0);
        const auto entries = std::distance(std::filesystem::recursive_directory_iterator(dir.path()), {});
        std::vector<std::string> args = {"-x", "-l@@"};
        args.insert(args.end(), c.sources.begin(), c.sources.end());
        // A run held up by the FIFO ends all the same.
        const ChildSetup child = {.environment = c.fault.empty()
                                                     ? std::vector<std::string>{}
                                                     : io_fault(c.fault[0], c.fault[1], std::stoul(c.fault[2])),
                                  .in_child = [] { ::alarm(20); }};
        const RunResult result = run_check(args, dir.path(), child);
        std::system(("chattr -i '" + (dir / "b.asm").string() + "' 2>/dev/null").c_str());
        EXPECT_EQ(result.out, c.out) << c.setup;
        EXPECT_EQ(result.err, c.err) << c.setup;
        EXPECT_EQ(result.exit_code, c.exit_code) << c.setup;
        EXPECT_EQ(read_file(dir / "a.asm"), c.rewritten ? fixed(c.a) : c.a) << c.setup;
        EXPECT_EQ(read_file(dir / "b.asm"), c.rewritten ? fixed(c.b) : c.b) << c.setup;
        EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.path()), {}), entries) << c.setup;
    }
}

// A rename that fails once another source is in place: that source goes
// back, or where it cannot, stays rewritten with its original kept beside it
// and named.
TEST(Posix, FixPutsBackOrNamesTheOriginalWhenARenameFails) {
    TempDir dir;
    write_file(dir / "a.asm", A);
    write_file(dir / "b.asm", B);
    // Every rename fails after the first: b's, and a's way back.
    const RunResult result =
        run_check({"-x", "-l@@", "a.asm", "b.asm"}, dir.path(), {.environment = io_fault("", "rename", 1)});
    EXPECT_EQ(result.out, notes_on("a.asm", "b.asm"));
    const std::regex kept(
        "b\\.asm:0: error: not rewritten: write error\n"
        "a\\.asm:0: error: rewritten, though another source could not be; the original is "
        "(/.*/\\.keston-\\w{6}\\.orig)\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(result.err, match, kept)) << result.err;
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(read_file(dir / "a.asm"), FIXED_A);
    EXPECT_EQ(read_file(match[1].str()), A);
    EXPECT_EQ(read_file(dir / "b.asm"), B);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

// The report comes before the renames: where it cannot be written, nothing
// is rewritten; a signal that comes while the renames run waits for the last.
TEST(Posix, FixRenamesOnlyAfterTheReportAndAllAtOnce) {
    TempDir dir;
    write_file(dir / "a.asm", A);
    write_file(dir / "b.asm", B);
    const RunResult full = run_check({"-x", "-l@@", "a.asm", "b.asm"}, dir.path(),
                                     {.in_child = [] { ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO); }});
    EXPECT_EQ(full.err, error("a.asm", "not rewritten: the report could not be written") +
                            error("b.asm", "not rewritten: the report could not be written") +
                            "keston-check: standard output: write error\n");
    EXPECT_EQ(full.exit_code, 2);
    EXPECT_EQ(read_file(dir / "a.asm"), A);
    EXPECT_EQ(read_file(dir / "b.asm"), B);
    std::vector<std::string> command = companion_command("keston-check");
    command.insert(command.end(), {"-x", "-l@@", "a.asm", "b.asm"});
    const Child child = start_program(command, dir.path(), {.environment = io_fault(".keston-", "stop-rename")});
    ASSERT_TRUE(stopped(child));
    ::kill(child.pid, SIGTERM);
    ::kill(child.pid, SIGCONT);
    const RunResult result = finish(child);
    EXPECT_EQ(result.out, notes_on("a.asm", "b.asm"));
    EXPECT_EQ(result.signal, SIGTERM);
    EXPECT_EQ(read_file(dir / "a.asm"), FIXED_A);
    EXPECT_EQ(read_file(dir / "b.asm"), FIXED_B);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

// A source replaced by another file while the run checks its rewrite holds
// back the others. The read shim stops the run at the first read of b's
// rewrite, which lies beside b in its own folder.
TEST(Posix, FixLeavesEverySourceWhenOneIsReplacedMeanwhile) {
    TempDir dir;
    write_file(dir / "a.asm", A);
    std::filesystem::create_directory(dir / "sub");
    write_file(dir / "sub" / "b.asm", B);
    std::filesystem::create_symlink("sub/b.asm", dir / "b.asm");
    std::vector<std::string> command = companion_command("keston-check");
    command.insert(command.end(), {"-x", "-l@@", "a.asm", "b.asm"});
    const Child child = start_program(command, dir.path(), {.environment = io_fault("sub/.keston-", "stop")});
    ASSERT_TRUE(stopped(child));
    write_file(dir / "sub" / "new.asm", B);
    std::filesystem::rename(dir / "sub" / "new.asm", dir / "sub" / "b.asm");
    ::kill(child.pid, SIGCONT);
    const RunResult result = finish(child);
    EXPECT_EQ(result.out, notes_on("a.asm", "b.asm"));
    EXPECT_EQ(result.err,
              error("b.asm", "not rewritten: the file was moved or replaced meanwhile") + error("a.asm", HELD_BACK));
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(read_file(dir / "a.asm"), A);
    EXPECT_EQ(read_file(dir / "b.asm"), B);
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(dir.path()), {}), 4);
}

// A sanitizer's runtime takes far more address space than the program.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool UNDER_SANITIZER = true;
#elif defined(__has_feature)
constexpr bool UNDER_SANITIZER = __has_feature(address_sanitizer);
#else
constexpr bool UNDER_SANITIZER = false;
#endif

// A source larger than the memory that the run may take is left as it was,
// with a note rather than an abort.
TEST(Posix, FixOutOfMemoryLeavesTheSourceWithANote) {
    if (UNDER_SANITIZER) GTEST_SKIP() << "the address space limit leaves a sanitizer's runtime no room";
    TempDir dir;
    std::string source = A;
    source.reserve(A.size() + 32 * 1024 * 1024);
    while (source.size() < 32 * 1024 * 1024) source += " nop\n";
    write_file(dir / "in.asm", source);
    const RunResult result = run_check({"-x", "-l@@", "in.asm"}, dir.path(), {.in_child = [] {
                                           const rlimit limit{24 << 20, 24 << 20};
                                           ::setrlimit(RLIMIT_AS, &limit);
                                       }});
    EXPECT_EQ(result.err, error("in.asm", "not rewritten: out of memory"));
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_TRUE(read_file(dir / "in.asm") == source);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace keston::test
