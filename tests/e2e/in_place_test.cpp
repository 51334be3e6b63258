// In-place runs: a source named also as the destination is replaced by the
// whole result or not at all, keeps what its owner set on it, and no
// temporary file outlives the run, whatever ends it.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <chrono>
#include <set>
#include <thread>

#include "support/harness.h"

namespace keston::test {
namespace {

constexpr auto MODE = static_cast<std::filesystem::perms>(0641);

// Source x.ASM, reached also as link.asm (symbolic) and hard.asm (hard link).
struct InPlaceDir {
    TempDir dir;
    explicit InPlaceDir(const std::string& source) {
        write_file(dir / "x.ASM", source);
        std::filesystem::permissions(dir / "x.ASM", MODE);
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

// A complete run replaces the file and keeps its mode and the symbolic link;
// the hard link keeps the old file. After any failure the file is untouched.
TEST(Posix, InPlaceRunReplacesTheWholeFileOrNothing) {
    std::string names = "p:\n";
    for (int i = 0; i < 1024; ++i) names += " @@" + std::to_string(1000000000 + i) + std::string(22, 'n') + "\n";
    const std::string flush_error = "\n\r?KESTON-I-Write file error while flushing data\n\r";
    const std::vector<std::string> close_fails = io_fault(".keston-", "close");
    const struct {
        std::string source;
        std::vector<std::string> args;
        ChildSetup setup;
        std::string out;
        int exit_code = 0;
        std::string result = "";  // of x.ASM; empty: the source as it was
    } cases[] = {
        // clang-format off
        {"a ; x\nb\n", {"-a", "x", "link.asm"}, {}, "", 0, "a\r\nb\r\n"},
        {"a\n", {"-l@", "x.ASM", "x.ASM"}, {}, fatal("Invalid Local label prefix specified"), 255},
        {"a\n" + std::string(1023, 'x') + "\n", {"x", "./x.ASM"}, {}, fatal("Line 2 in input source file is too long")},
        {"a\n\t" + std::string(1016, 'x') + "\n", {"-s", "d/../x.ASM", "x"}, {}, fatal("Line 2 is too long after tab conversion")},
        {"p:\n @@" + std::string(33, 'n') + "\n", {"-l@@", "link.asm", "x.ASM"}, {}, fatal("Local label name is too long in line 2")},
        {names, {"-l@@", "-f", "x.ASM", "link.asm"}, {}, fatal("Local label name array oveflow at line 1025")},
        // 37,390 bytes: the limit cuts the second block short and no third follows
        {numbered_lines(3500), {"x.ASM", "hard.asm"}, {.file_size_limit = 20000}, fatal("Output file write error")},
        {numbered_lines(3500), {"-e", "x.ASM", "hard.asm"}, {.file_size_limit = 20000}, fatal("Output file write error")},
        {numbered_lines(5), {"-f", "hard.asm", "x"}, {.file_size_limit = 10, .environment = close_fails}, flush_error},
        {numbered_lines(5), {"x.ASM", "x.ASM"}, {.environment = close_fails}, flush_error},
        {numbered_lines(3000), {"x.ASM", "x.ASM"}, {.environment = io_fault("x.ASM", "fail", 20000)}, fatal("Input file read error")},
        {numbered_lines(3000), {"-f", "x.ASM", "link.asm"}, {.environment = io_fault("x.ASM", "fail-once", 20000)},
         fatal("Input file read error")},
        // clang-format on
    };
    for (const auto& c : cases) {
        InPlaceDir place(c.source);
        const RunResult result = run_keston(c.args, place.dir.path(), c.setup);
        EXPECT_EQ(result.out, c.out) << c.args[1];
        EXPECT_EQ(result.exit_code, c.exit_code) << c.args[1];
        EXPECT_EQ(read_file(place.dir / "x.ASM"), c.result.empty() ? c.source : c.result) << c.args[1];
        EXPECT_EQ(read_file(place.dir / "hard.asm"), c.source) << c.args[1];
        EXPECT_EQ(std::filesystem::status(place.dir / "x.ASM").permissions(), MODE) << c.args[1];
        EXPECT_TRUE(std::filesystem::is_symlink(place.dir / "link.asm")) << c.args[1];
        EXPECT_EQ(place.names(), IN_PLACE_NAMES) << c.args[1];
    }
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

// Under wine: attrib with args, run in dir. It sets attributes (+h), or
// prints a file's ("A    H") in front of its full path.
std::string attrib(const std::vector<std::string>& args, const std::filesystem::path& dir) {
    std::vector<std::string> command = keston_command();
    command.back() = "cmd";
    command.insert(command.end(), {"/c", "attrib"});
    command.insert(command.end(), args.begin(), args.end());
    return finish(start_program(command, dir)).out;
}

// Also run against the Windows build: a rewrite through a symbolic link
// replaces the file the link leads to and leaves the link, one on a full path
// longer than the 260 characters of older Windows programs works as any
// other, a failed one leaves the file as it was, and under wine the file
// keeps its hidden attribute.
TEST(InPlace, RewriteFollowsLinksTakesLongPathsAndKeepsAttributes) {
    const bool windows = std::getenv("KESTON_WINDOWS_EXE") != nullptr;
    // The full path passes 260 characters; the name keeps within 255 bytes.
    const std::string deep = std::string(120, 'd') + "/" + std::string(118, 'e') + "/";
    const struct {
        std::string folder, name;
        bool fails = false;
    } cases[] = {{"", "link.asm"}, {deep, "x.asm"}, {deep, "link.asm"}, {deep, "link.asm", true}};
    for (const auto& c : cases) {
        const std::string source = c.fails ? "a\n" + std::string(1023, 'x') + "\n" : "a ; x\n";
        TempDir dir;
        std::filesystem::create_directories(dir / c.folder);
        write_file(dir / c.folder / "x.asm", source);
        std::filesystem::create_symlink("x.asm", dir / c.folder / "link.asm");
        const bool hide = windows && c.folder.empty();  // attrib takes no path past 260 characters
        if (hide) attrib({"+h", "x.asm"}, dir.path());
        const std::string attributes = hide ? attrib({"x.asm"}, dir.path()) : "";
        EXPECT_EQ(attributes.substr(0, 5), hide ? "A   H" : "");
        const RunResult run = run_keston({"-a", c.folder + c.name, c.folder + c.name}, dir.path());
        EXPECT_EQ(run.out, c.fails ? fatal("Line 2 in input source file is too long") : "") << c.folder + c.name;
        EXPECT_EQ(read_file(dir / c.folder / "x.asm"), c.fails ? source : "a\r\n") << c.folder + c.name;
        EXPECT_TRUE(std::filesystem::is_symlink(dir / c.folder / "link.asm")) << c.folder + c.name;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / c.folder), {}), 2) << c.folder + c.name;
        EXPECT_EQ(hide ? attrib({"x.asm"}, dir.path()) : "", attributes) << c.folder + c.name;
    }
}

// Starts an in-place run that stops itself when it comes to byte 20,000 of
// x.ASM, and waits until it has.
Child start_stopped(const InPlaceDir& place, ChildSetup setup = {}) {
    setup.environment = io_fault("x.ASM", "stop", 20000);
    const Child child = start_keston({"-a", "x.ASM", "x.ASM"}, place.dir.path(), setup);
    EXPECT_TRUE(stopped(child));
    // Meanwhile the result grows in a file of a fixed-length name beside the
    // source, which comes first among the names.
    const std::set<std::string> names = place.names();
    EXPECT_EQ(names.size(), IN_PLACE_NAMES.size() + 1);
    EXPECT_TRUE(names.begin()->size() == 14 && names.begin()->starts_with(".keston-")) << *names.begin();
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

    // The file replaced by another one, or removed, while the run goes on.
    for (const bool replaced : {true, false}) {
        InPlaceDir place(numbered_lines(3000));
        const Child child = start_stopped(place);
        write_file(place.dir / "new.asm", "new\n");
        if (replaced) std::filesystem::rename(place.dir / "new.asm", place.dir / "x.ASM");
        if (!replaced) std::filesystem::remove(place.dir / "x.ASM");
        ::kill(child.pid, SIGCONT);
        const RunResult run = finish(child);
        EXPECT_EQ(run.out, fatal("Output file creation failure")) << replaced;
        EXPECT_EQ(run.exit_code, 0) << replaced;
        EXPECT_EQ(read_file(place.dir / (replaced ? "x.ASM" : "new.asm")), "new\n") << replaced;
        std::set<std::string> names = IN_PLACE_NAMES;
        if (!replaced) names.insert("new.asm"), names.erase("x.ASM");
        EXPECT_EQ(place.names(), names) << replaced;
    }
}

void block_sigint() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
}

// Whatever signal ends the run, the temporary file goes with it; only the
// four interrupts print their message, once. A signal that the caller blocked
// stays blocked, and one ignored at start stays ignored.
TEST(Posix, SignalsThatEndAnInPlaceRunLeaveNoTemporaryFile) {
    const struct {
        int signal;
        ChildSetup setup = {};  // a start where the signal does not end the run
    } cases[] = {
        // clang-format off
        {SIGINT}, {SIGTERM}, {SIGHUP}, {SIGQUIT}, {SIGUSR1}, {SIGALRM}, {SIGXCPU}, {SIGVTALRM}, {SIGPROF}, {SIGUSR2},
        {SIGRTMIN}, {SIGINT, {.in_child = block_sigint}}, {SIGHUP, {.ignored = {SIGHUP}}}, {SIGINT, {.ignored = {SIGINT}}},
        // clang-format on
    };
    const std::string source = numbered_lines(3000);
    for (const auto& c : cases) {
        InPlaceDir place(source);
        const Child child = start_stopped(place, c.setup);
        ::kill(child.pid, c.signal);
        ::kill(child.pid, SIGCONT);
        const RunResult run = finish(child);
        const bool ends = c.setup.in_child == nullptr && c.setup.ignored.empty();
        const bool interrupt = std::set<int>{SIGINT, SIGTERM, SIGHUP, SIGQUIT}.count(c.signal) == 1;
        EXPECT_EQ(run.out, interrupt && ends ? fatal("Operation is interrupted by user") : "") << c.signal;
        EXPECT_EQ(run.signal, ends ? c.signal : 0) << c.signal;
        EXPECT_EQ(read_file(place.dir / "x.ASM"), ends ? source : with_crlf(source)) << c.signal;
        EXPECT_EQ(place.names(), IN_PLACE_NAMES) << c.signal;
    }
}

// A run that failed keeps its handlers until its temporary file is gone: here
// a signal comes right before the file is removed.
TEST(Posix, SignalAfterAFailedRunLeavesNoTemporaryFile) {
    const std::string source = "a\n" + std::string(1023, 'x') + "\n";
    InPlaceDir place(source);
    const Child child =
        start_keston({"x.ASM", "x.ASM"}, place.dir.path(), {.environment = io_fault(".keston-", "stop-unlink")});
    ASSERT_TRUE(stopped(child));
    ::kill(child.pid, SIGTERM);
    ::kill(child.pid, SIGCONT);
    const RunResult run = finish(child);
    EXPECT_EQ(run.out, fatal("Line 2 in input source file is too long") + fatal("Operation is interrupted by user"));
    EXPECT_EQ(run.signal, SIGTERM);
    EXPECT_EQ(read_file(place.dir / "x.ASM"), source);
    EXPECT_EQ(place.names(), IN_PLACE_NAMES);
}

constexpr uid_t NOBODY = 65534;

// What a rewrite must keep, in one string: owner, group, mode, file flags,
// ACL and a user attribute.
std::string settings(const std::filesystem::path& file) {
    struct stat status {};
    ::stat(file.c_str(), &status);
    int flags = 0;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ::ioctl(fd, FS_IOC_GETFLAGS, &flags);
    ::close(fd);
    std::string text = std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid) + " " +
                       std::to_string(status.st_mode & 07777) + " " + std::to_string(flags);
    for (const char* name : {"system.posix_acl_access", "user.note"}) {
        char value[256];
        const ssize_t size = ::getxattr(file.c_str(), name, value, sizeof value);
        text.append(" ").append(size < 0 ? "-" : std::string(value, static_cast<std::size_t>(size)));
    }
    return text;
}

// Run by another user, a rewrite in place is refused where that user may
// not write the file, the replacement could not keep its owner, group,
// attributes or flags, or the directory would not let the temporary file be
// removed again, as a separate destination would be; otherwise it keeps them
// all, and never more: nothing that a new file takes from its directory (a
// default ACL, flags) stays. An ACL's mask stands in the group's permission
// bits, so only the ACL itself keeps the group's rights as they were.
TEST(Posix, InPlaceRunKeepsOwnerModeAndAttributesOrIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can run keston as another user here";
    const struct {
        uid_t owner;
        gid_t group;
        unsigned mode;
        const char* setup;  // run on the file first
        bool replaced;
        bool by_owner = false;  // run by root, the owner, instead of by nobody
    } cases[] = {
        {0, 0, 0644, "true", false},            // readable but not writable
        {NOBODY, NOBODY, 0444, "true", false},  // the user's own, read-only
        {0, NOBODY, 0664, "true", false},       // writable through the group, but the owner cannot be kept
        {NOBODY, NOBODY, 02750,
         "setfacl -m u:root:rw x.asm && setfattr -n user.note -v kept x.asm && setfattr -n user.empty x.asm", true},
        {NOBODY, NOBODY, 0750, "setcap cap_net_raw+ep x.asm", false},    // an attribute the user cannot set
        {NOBODY, NOBODY, 0640, "chattr +A x.asm && chattr +d .", true},  // d comes to every new file here
        {NOBODY, NOBODY, 0640, "chattr +a .", false},                    // nothing can be removed here
        {0, 0, 0640, "setfacl -d -m u:nobody:rwx .", true, true},
        {0, 0, 0660, "setfacl -d -m u:nobody:rwx . && setfacl -m u:daemon:r x.asm", true, true},
    };
    TempDir bin;  // a copy of keston that the other user may run wherever the build lies
    std::filesystem::permissions(bin.path(), static_cast<std::filesystem::perms>(0755));
    std::filesystem::copy_file(KESTON_BINARY, bin / "keston");
    const auto as_nobody = [] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(NOBODY) != 0 || ::setuid(NOBODY) != 0) ::_exit(126);
    };
    const auto readable_by_nobody = [&](const TempDir& dir) {
        return finish(start_program({"cat", "x.asm"}, dir.path(), {.in_child = as_nobody})).exit_code == 0;
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
        write_file(dir / "x.asm", "a ; x\n");
        ASSERT_EQ(::chown((dir / "x.asm").c_str(), c.owner, c.group), 0);
        ASSERT_EQ(::chmod((dir / "x.asm").c_str(), c.mode), 0);
        if (std::system(("cd '" + dir.path().string() + "' && " + c.setup).c_str()) != 0)
            GTEST_SKIP() << "cannot run here: " << c.setup;
        const std::string before = settings(dir / "x.asm");
        const bool readable = readable_by_nobody(dir);
        const RunResult run = finish(start_program({(bin / "keston").string(), "-a", "x.asm", "x.asm"}, dir.path(),
                                                   {.in_child = c.by_owner ? nullptr : +as_nobody}));
        std::system(("chattr -a '" + dir.path().string() + "'").c_str());
        EXPECT_EQ(run.out, c.replaced ? "" : fatal("Output file creation failure")) << c.setup;
        EXPECT_EQ(run.exit_code, c.replaced ? 0 : 255) << c.setup;
        EXPECT_EQ(read_file(dir / "x.asm"), c.replaced ? "a\r\n" : "a ; x\n") << c.setup;
        EXPECT_EQ(settings(dir / "x.asm"), before) << c.setup;
        EXPECT_EQ(readable_by_nobody(dir), readable) << c.setup;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << c.setup;
    }
}

}  // namespace
}  // namespace keston::test
