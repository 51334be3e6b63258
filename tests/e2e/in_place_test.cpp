// In-place runs: a source named also as the destination is replaced by the
// whole result or not at all, keeps what its owner set on it, and no
// temporary file outlives the run, whatever ends it.

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <chrono>
#include <set>
#include <thread>

#include "support/harness.h"

namespace keston::test {
namespace {

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
        std::size_t read_fails_at;  // 0: no read fails
        std::string out;
        int exit_code;
    } cases[] = {
        // clang-format off
        {"a\n", {"-l@", "x.ASM", "x.ASM"}, NO_LIMIT, 0, fatal("Invalid Local label prefix specified"), 255},
        {"a\n" + std::string(1023, 'x') + "\n", {"x", "./x.ASM"}, NO_LIMIT, 0,
         fatal("Line 2 in input source file is too long"), 0},
        {"a\n\t" + std::string(1016, 'x') + "\n", {"-s", "d/../x.ASM", "x"}, NO_LIMIT, 0,
         fatal("Line 2 is too long after tab conversion"), 0},
        {"p:\n @@" + std::string(33, 'n') + "\n", {"-l@@", "link.asm", "x.ASM"}, NO_LIMIT, 0,
         fatal("Local label name is too long in line 2"), 0},
        {names, {"-l@@", "-f", "x.ASM", "link.asm"}, NO_LIMIT, 0, fatal("Local label name array oveflow at line 1025"), 0},
        // 37,390 bytes: the limit cuts the second block short and no third follows
        {numbered_lines(3500), {"x.ASM", "hard.asm"}, 20000, 0, fatal("Output file write error"), 0},
        {numbered_lines(5), {"-f", "hard.asm", "x"}, 10, 0, "\n\r?KESTON-I-Write file error while flushing data\n\r", 0},
        {numbered_lines(3000), {"x.ASM", "x.ASM"}, NO_LIMIT, 20000, fatal("Input file read error"), 0},
        {numbered_lines(3000), {"-f", "x.ASM", "link.asm"}, NO_LIMIT, 20000, fatal("Input file read error"), 0},
        // clang-format on
    };
    for (const auto& c : cases) {
        InPlaceDir place(c.source);
        ChildSetup setup;
        setup.file_size_limit = c.file_size_limit;
        if (c.read_fails_at != 0) setup.environment = read_fault("x.ASM", c.read_fails_at, "fail");
        const RunResult result = run_keston(c.args, place.dir.path(), setup);
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
    // The temporary name does not grow with the file's: the longest name works too.
    InPlaceDir place("a ; x\n");
    const std::string longest = std::string(251, 'n') + ".asm";
    std::filesystem::rename(place.dir / "x.ASM", place.dir / longest);
    EXPECT_EQ(run_keston({"-a", longest, longest}, place.dir.path()).out, "");
    EXPECT_EQ(read_file(place.dir / longest), "a\r\n");
}

// Wherever an interrupt falls once the handler is in place (the temporary
// file exists), the source is untouched when the message says so, and
// otherwise (a run that ended first) the whole result. Also run against the
// Windows build, where wine turns SIGINT into the console's Ctrl+C.
TEST(InPlace, InterruptedRunLeavesTheSourceAsItWas) {
    std::string source;
    for (int i = 0; i < 400000; ++i) source += "@@l" + std::to_string(i % 50) + ":\tmov\tax, bx   ; note\n";
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
        ::kill(child.pid, SIGINT);
        const RunResult run = finish(child);
        const bool interrupted = run.out == fatal("Operation is interrupted by user");
        interrupted_rounds += interrupted ? 1 : 0;
        EXPECT_TRUE(interrupted || run.out.empty()) << round;
        EXPECT_TRUE(read_file(place.dir / "x.ASM") == (interrupted ? source : result)) << round;
        EXPECT_EQ(place.names(), IN_PLACE_NAMES) << round;
    }
    EXPECT_GT(interrupted_rounds, 0);
}

// Starts an in-place run that stops itself when it comes to byte offset of
// x.ASM, and waits until it has.
Child start_stopped(const InPlaceDir& place, std::size_t offset, void (*in_child)() = nullptr) {
    ChildSetup setup;
    setup.environment = read_fault("x.ASM", offset, "stop");
    setup.in_child = in_child;
    const Child child = start_keston({"-a", "x.ASM", "x.ASM"}, place.dir.path(), setup);
    int status = 0;
    ::waitpid(child.pid, &status, WUNTRACED);
    EXPECT_TRUE(WIFSTOPPED(status));
    // Meanwhile the result grows in a file of a fixed-length name beside the source.
    std::set<std::string> names = place.names();
    for (const std::string& name : IN_PLACE_NAMES) names.erase(name);
    EXPECT_EQ(names.size(), 1u);
    EXPECT_TRUE(names.size() == 1 && names.begin()->size() == 14 && names.begin()->starts_with(".keston-"));
    return child;
}

// A name that no longer reaches the file that was read is refused, when the
// run starts and again right before the rename, and nothing is touched.
TEST(Posix, InPlaceRunReplacesOnlyTheFileItRead) {
    TempDir dir;
    write_file(dir / "x.ASM", "a ; x\n");
    write_file(dir / "x.ASM (deleted)", "other\n");  // where /dev/fd/3 on the deleted x.ASM leads
    const std::string script = "exec 3<x.ASM; rm x.ASM; exec \"$0\" -a /dev/fd/3 /dev/fd/3";
    const RunResult deleted = finish(start_program({"sh", "-c", script, KESTON_BINARY}, dir.path()));
    EXPECT_EQ(deleted.out, fatal("Output file creation failure"));
    EXPECT_EQ(deleted.exit_code, 255);
    EXPECT_EQ(read_file(dir / "x.ASM (deleted)"), "other\n");

    InPlaceDir place(numbered_lines(3000));
    const Child child = start_stopped(place, 20000);
    write_file(place.dir / "new.asm", "new\n");
    std::filesystem::rename(place.dir / "new.asm", place.dir / "x.ASM");
    ::kill(child.pid, SIGCONT);
    const RunResult swapped = finish(child);
    EXPECT_EQ(swapped.out, fatal("Output file creation failure"));
    EXPECT_EQ(swapped.exit_code, 0);
    EXPECT_EQ(read_file(place.dir / "x.ASM"), "new\n");
    EXPECT_EQ(place.names(), IN_PLACE_NAMES);
}

void block_sigint() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
}

// Whatever signal ends the run, the temporary file goes with it; only the
// four interrupts print the message. A signal the caller blocked stays blocked.
TEST(Posix, SignalsThatEndAnInPlaceRunLeaveNoTemporaryFile) {
    const struct {
        int signal;
        void (*in_child)();
    } cases[] = {{SIGINT, nullptr},  {SIGTERM, nullptr}, {SIGHUP, nullptr},   {SIGQUIT, nullptr},
                 {SIGUSR1, nullptr}, {SIGALRM, nullptr}, {SIGXCPU, nullptr},  {SIGVTALRM, nullptr},
                 {SIGPROF, nullptr}, {SIGUSR2, nullptr}, {SIGRTMIN, nullptr}, {SIGINT, block_sigint}};
    const std::string source = numbered_lines(3000);
    for (const auto& c : cases) {
        InPlaceDir place(source);
        const Child child = start_stopped(place, 20000, c.in_child);
        ::kill(child.pid, c.signal);
        ::kill(child.pid, SIGCONT);
        const RunResult run = finish(child);
        const bool blocked = c.in_child != nullptr;
        const bool interrupt = std::set<int>{SIGINT, SIGTERM, SIGHUP, SIGQUIT}.count(c.signal) == 1;
        EXPECT_EQ(run.out, interrupt && !blocked ? fatal("Operation is interrupted by user") : "") << c.signal;
        EXPECT_EQ(run.signal, blocked ? 0 : c.signal) << c.signal;
        EXPECT_EQ(read_file(place.dir / "x.ASM"), blocked ? with_crlf(source) : source) << c.signal;
        EXPECT_EQ(place.names(), IN_PLACE_NAMES) << c.signal;
    }
}

constexpr uid_t NOBODY = 65534;

void become_nobody() {
    if (::setgroups(0, nullptr) != 0 || ::setgid(NOBODY) != 0 || ::setuid(NOBODY) != 0) ::_exit(126);
}

// What a rewrite must keep, in one string: owner, group, mode, ACL and a user attribute.
std::string settings(const std::filesystem::path& file) {
    struct stat status {};
    ::stat(file.c_str(), &status);
    std::string text = std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid) + " " +
                       std::to_string(status.st_mode & 07777);
    for (const char* name : {"system.posix_acl_access", "user.note"}) {
        char value[256];
        const ssize_t size = ::getxattr(file.c_str(), name, value, sizeof value);
        text.append(" ").append(size < 0 ? "-" : std::string(value, static_cast<std::size_t>(size)));
    }
    return text;
}

// Run by another user, a rewrite in place is refused where that user may
// not write the file or the replacement could not keep its owner, group or
// attributes, as a separate destination would be; otherwise it keeps them
// all. An ACL's mask stands in the group's permission bits, so only the ACL
// itself keeps the group's rights as they were.
TEST(Posix, InPlaceRunKeepsOwnerModeAndAttributesOrIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run keston as another user here";
    const struct {
        uid_t owner;
        gid_t group;
        unsigned mode;
        const char* setup;  // run on the file first
        bool replaced;
    } cases[] = {
        {0, 0, 0644, "true", false},            // readable but not writable
        {NOBODY, NOBODY, 0444, "true", false},  // the user's own, read-only
        {0, NOBODY, 0664, "true", false},       // writable through the group, but the owner cannot be kept
        {NOBODY, NOBODY, 02750, "setfacl -m u:root:rw x.asm && setfattr -n user.note -v kept x.asm", true},
        {NOBODY, NOBODY, 0750, "setcap cap_net_raw+ep x.asm", false},  // an attribute the user cannot set
    };
    TempDir bin;  // a copy of keston that the other user may run wherever the build lies
    std::filesystem::permissions(bin.path(), static_cast<std::filesystem::perms>(0755));
    std::filesystem::copy_file(KESTON_BINARY, bin / "keston");
    for (const auto& c : cases) {
        TempDir dir;
        std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
        write_file(dir / "x.asm", "a ; x\n");
        ASSERT_EQ(::chown((dir / "x.asm").c_str(), c.owner, c.group), 0);
        ASSERT_EQ(::chmod((dir / "x.asm").c_str(), c.mode), 0);
        if (std::system(("cd '" + dir.path().string() + "' && " + c.setup).c_str()) != 0)
            GTEST_SKIP() << "cannot run here: " << c.setup;
        const std::string before = settings(dir / "x.asm");
        ChildSetup setup;
        setup.in_child = become_nobody;
        const RunResult run =
            finish(start_program({(bin / "keston").string(), "-a", "x.asm", "x.asm"}, dir.path(), setup));
        EXPECT_EQ(run.out, c.replaced ? "" : fatal("Output file creation failure")) << c.setup;
        EXPECT_EQ(run.exit_code, c.replaced ? 0 : 255) << c.setup;
        EXPECT_EQ(read_file(dir / "x.asm"), c.replaced ? "a\r\n" : "a ; x\n") << c.setup;
        EXPECT_EQ(settings(dir / "x.asm"), before) << c.setup;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << c.setup;
    }
}

}  // namespace
}  // namespace keston::test
