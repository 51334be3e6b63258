// keston-map's build mode through the built binary: destinations that are
// keston's output byte for byte, written only when their bytes change and
// never in part, and nothing at all written where keston would stop.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "support/harness.h"

namespace keston::test {
namespace {

namespace fs = std::filesystem;

const bool UNDER_WINE = std::getenv("KESTON_WINDOWS_EXE") != nullptr;

RunResult run_build(std::vector<std::string> args, const fs::path& dir, const ChildSetup& setup = {}) {
    args.insert(args.begin(), "-b");
    return run_companion("keston-map", args, dir, setup);
}

// The names in dir and the folders under it, as relative paths.
std::vector<std::string> listing(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        names.push_back(entry.path().lexically_relative(dir));
    std::sort(names.begin(), names.end());
    return names;
}

std::string repeated(const std::string& text, int count) {
    std::string result;
    for (int i = 0; i < count; ++i) result += text;
    return result;
}

// Every byte that keston's reader treats apart: CR LF and lone CR, NUL,
// TABs and trailing blanks, quotes, the longest line, no LF at the end.
const std::vector<std::string> EDGE_SOURCES = {
    "; head\r\n\r\nproc1:\t\t; x\r\n@@loop:\tdec cx \t\r\n\tjnz @@loop // y\r\n\tdb \"a    b\",';'\r\n",
    std::string("a\0b\tc\rd\n\n\n  \t\n", 14) + std::string(1022, 'x') + "\n" + std::string(1022, 'y'),
    "p:\n@@a: @@ab @@abc\n\t@@a @@ab\nq: jmp @@a\n\t\t\t\tx\t\"q  \t r\"   ;c\n"};

// Every switch set, in both read modes, on the samples and the edge sources:
// the destination is what keston writes.
TEST(Build, DestinationsAreKestonsOutputForEverySwitchSet) {
    std::vector<std::string> sources = EDGE_SOURCES;
    // Under wine, where every run takes long, the edge sources alone.
    for (const char* sample : {"../sample.asm", "boot.asm", "tables.asm", "strings.asm"}) {
        if (UNDER_WINE) break;
        sources.push_back(read_file(fs::path(KESTON_NASM_SAMPLES) / sample));
        ASSERT_NE(sources.back(), "") << sample;
    }
    const std::vector<std::vector<std::string>> switch_sets = {{},
                                                               {"-a"},
                                                               {"-c"},
                                                               {"-e"},
                                                               {"-s"},
                                                               {"-t"},
                                                               {"-l@@"},
                                                               {"-s4", "-t4"},
                                                               {"-s3", "-t"},
                                                               {"-a", "-c", "-s", "-t", "-l@@", "-e"},
                                                               {"-t1", "-e"},
                                                               {"-s64"},
                                                               {"-c", "-l@a"}};
    int runs = 0;
    for (std::size_t s = 0; s < sources.size(); ++s) {
        TempDir dir;
        write_file(dir / "in.asm", sources[s]);
        for (const std::vector<std::string>& set : switch_sets) {
            for (const bool whole : {false, true}) {
                std::vector<std::string> args = set;
                if (whole) args.push_back("-f");
                std::vector<std::string> keston_args = args;
                keston_args.insert(keston_args.end(), {"in.asm", "kept.asm"});
                ASSERT_EQ(run_keston(keston_args, dir.path()).out, "") << s << testing::PrintToString(args);
                args.insert(args.end(), {"in.asm", "made/in.asm"});
                const RunResult built = run_build(args, dir.path());
                EXPECT_EQ(built.err, "") << s << testing::PrintToString(args);
                EXPECT_EQ(built.exit_code, 0);
                EXPECT_EQ(read_file(dir / "made/in.asm"), read_file(dir / "kept.asm"))
                    << s << testing::PrintToString(args);
                ++runs;
            }
        }
    }
    EXPECT_EQ(runs, UNDER_WINE ? 78 : 182);
}

// Where keston would stop, or a destination cannot be made, nothing is
// written, the command does not run, and the message names the place.
TEST(Build, StopsWriteNothingAndRunNoCommand) {
    const std::string too_long = std::string(1000, 'x') + "\r" + std::string(23, 'y');
    // clang-format off
    const struct {
        std::string source;
        std::vector<std::string> switches;
        std::string err;
    } cases[] = {
        {"a\n" + too_long + "\n", {}, "in.asm:2: error: line too long (1023 characters, at most 1022)\n"},
        {"a\n\n" + std::string(1040, 'z'), {"-f"}, "in.asm:3: error: line too long (1040 characters, at most 1022)\n"},
        {std::string(1, '\t').append(1020, 'x') + "\n", {"-s"},
         "in.asm:1: error: line too long once its tabs are expanded (at most 1022 characters)\n"},
        {"p:\n" + repeated("@@a ", 250) + "\n", {"-l@@"},
         "in.asm:2: error: line too long once its local labels are renamed (at most 1022 characters)\n"},
        {"p:\n\tjmp @@" + std::string(33, 'n') + "\n", {"-l@@"},
         "in.asm:2: error: local label name too long (at most 32 characters)\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "in.asm", c.source);
        write_file(dir / "ok.asm", "ok\n");
        write_file(dir / "out.asm", "before\r\n");
        std::vector<std::string> args = c.switches;
        args.insert(args.end(), {"ok.asm", "new/ok.asm", "in.asm", "out.asm", "--", "touch", "ran"});
        const RunResult result = run_build(args, dir.path());
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.exit_code, 2);
        EXPECT_EQ(read_file(dir / "out.asm"), "before\r\n");
        EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"in.asm", "ok.asm", "out.asm"})) << c.err;
    }
}

TEST(Build, FilesThatCannotBeReadOrWrittenStopTheBuild) {
    TempDir dir;
    write_file(dir / "in.asm", "a\n");
    write_file(dir / "file", "");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"gone.asm", "out.asm"}, "gone.asm:0: error: cannot be opened for reading\n"},
        {{"in.asm", "file/out.asm"}, "file/out.asm:0: error: its folder cannot be created\n"},
        {{"in.asm", "deep/er/out.asm", "in.asm", "in.asm/x.asm"},
         "in.asm/x.asm:0: error: its folder cannot be created\n"},
    };
    for (const auto& c : cases) {
        const RunResult result = run_build(c.args, dir.path());
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.exit_code, 2);
        EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"file", "in.asm"})) << c.err;
    }
}

// Many destinations in one run, all new and then all changed, go in place together.
TEST(Build, ManyDestinationsAreMadeInOneRun) {
    TempDir dir;
    // The name and the text of file i.
    const auto numbered = [](const char* before, int i, const char* after) {
        std::string text = before;
        text += std::to_string(i);
        text += after;
        return text;
    };
    std::vector<std::string> args;
    for (int i = 0; i < 40; ++i) args.insert(args.end(), {numbered("s", i, ".asm"), numbered("out/s", i, ".asm")});
    for (const char* end : {"", "y"}) {
        for (int i = 0; i < 40; ++i) write_file(dir / numbered("s", i, ".asm"), numbered("x", i, end) + "\n");
        ASSERT_EQ(run_build(args, dir.path()).exit_code, 0);
        for (int i = 0; i < 40; ++i) {
            EXPECT_EQ(read_file(dir / numbered("out/s", i, ".asm")), numbered("x", i, end) + "\r\n");
        }
        EXPECT_EQ(listing(dir / "out").size(), 40u);
    }
}

// A destination whose bytes stay keeps its time, so make rebuilds nothing
// that depends on it; one whose bytes change gets them whole.
TEST(Build, OnlyChangedBytesAreWritten) {
    TempDir dir;
    write_file(dir / "in.asm", "a: ; one\n");
    ASSERT_EQ(run_build({"-a", "in.asm", "out.asm"}, dir.path()).exit_code, 0);
    const auto old_time = fs::last_write_time(dir / "out.asm") - std::chrono::hours(1);
    fs::last_write_time(dir / "out.asm", old_time);
    write_file(dir / "in.asm", "a: ; two\n");
    const RunResult same = run_build({"-a", "in.asm", "out.asm"}, dir.path());
    EXPECT_EQ(same.exit_code, 0);
    EXPECT_EQ(fs::last_write_time(dir / "out.asm"), old_time);
    write_file(dir / "in.asm", "b: ; two\n");
    EXPECT_EQ(run_build({"-a", "in.asm", "out.asm"}, dir.path()).exit_code, 0);
    EXPECT_GT(fs::last_write_time(dir / "out.asm"), old_time);
    EXPECT_EQ(read_file(dir / "out.asm"), "b:\r\n");
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"in.asm", "out.asm"}));
}

TEST(Build, CommandLine) {
    TempDir dir;
    write_file(dir / "in.asm", "a\n");
    const struct {
        std::vector<std::string> args;
        std::string err_start;
    } cases[] = {
        {{"-d", "in.asm", "out.asm"}, "Usage: keston-map"},
        {{"-b", "-B", "in.asm", "out.asm"}, "\n\r?KESTON-F-Multiple switch specification\n\r"},
        {{"-b", "src/", "out.asm"}, "keston-map: src/ and out.asm: a folder pairs only with a folder\n"},
        {{"-b", "-lx", "in.asm", "out.asm"}, "\n\r?KESTON-F-Invalid Local label prefix specified\n\r"},
    };
    for (const auto& c : cases) {
        const RunResult result = run_companion("keston-map", c.args, dir.path());
        EXPECT_EQ(result.err.substr(0, c.err_start.size()), c.err_start);
        EXPECT_EQ(result.exit_code, 2);
        EXPECT_FALSE(fs::exists(dir / "out.asm"));
    }
}

// The sources of the include tests: main.asm includes util.inc, which
// includes Sub\Deep.INC, written as DOS sources write it, for sub/deep.inc.
struct IncludingSources : TempDir {
    IncludingSources() {
        fs::create_directories(*this / "src/sub");
        write_file(*this / "src/main.asm", "; main\nstart:\n@@go:\tjmp @@go\n\t%include \"util.inc\" ; tools\n");
        write_file(*this / "src/util.inc", "util:\n@@back:\tret\n include Sub\\Deep.INC\n include gone.inc\n");
        write_file(*this / "src/sub/deep.inc", "deep:\n@@deep: ret ; x\n");
    }
};

// Each include is made beside the destination of the file that includes
// it, under the path its line spells, from the file found as keston-check
// finds it; one that names no file is left to the assembler.
TEST(Build, IncludesAreMadeBesideTheDestination) {
    const IncludingSources dir;
    const RunResult result = run_build({"-a", "-l@@", "src/main.asm", "build/main.asm"}, dir.path());
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(listing(dir / "build"), (std::vector<std::string>{"Sub", "Sub/Deep.INC", "main.asm", "util.inc"}));
    const struct {
        const char* source;
        const char* made;
    } files[] = {{"src/main.asm", "main.asm"}, {"src/util.inc", "util.inc"}, {"src/sub/deep.inc", "Sub/Deep.INC"}};
    for (const auto& file : files) {
        ASSERT_EQ(run_keston({"-a", "-l@@", file.source, "kept.asm"}, dir.path()).exit_code, 0);
        EXPECT_EQ(read_file(dir / "build" / file.made), read_file(dir / "kept.asm")) << file.made;
    }
}

// The assembler's messages about a made include name its source, in build
// mode and through a pair of folders.
TEST(Build, MessagesAboutMadeIncludesAreMapped) {
    const IncludingSources dir;
    const std::string stand_in = UNDER_WINE ? "assembler_messages" : companion_command("assembler_messages").back();
    const std::vector<std::string> command = {"--", stand_in, "1", "build/Sub/Deep.INC", "2", "deep_0000"};
    // Windows finds the file under the name as the include spells it.
    const std::string source = UNDER_WINE ? "src/Sub/Deep.INC" : "src/sub/deep.inc";
    const std::vector<std::vector<std::string>> pairs = {{"-b", "src/main.asm", "build/main.asm"}, {"src/", "build/"}};
    for (std::vector<std::string> args : pairs) {
        args.insert(args.begin(), {"-a", "-l@@"});
        args.insert(args.end(), command.begin(), command.end());
        const RunResult result = run_companion("keston-map", args, dir.path());
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_NE(result.err.find(source + ":2: error: symbol `@@deep' not defined\n"), std::string::npos)
            << result.err;
    }
    if (UNDER_WINE) return;
    // A path under another root is not under the destination folder.
    std::string elsewhere = dir.path().string();
    elsewhere.replace(0, elsewhere.find('/', 1), "/elsewhere");
    const std::string messages = elsewhere + "/build/Sub/Deep.INC:2: x\nbuild/Sub/Deep.INC:2: y\n";
    write_file(dir / "messages.txt", messages);
    const RunResult filtered =
        run_companion("keston-map", {"-a", "-l@@", "src/", "build/"}, dir.path(), {.input = dir / "messages.txt"});
    EXPECT_EQ(filtered.out, elsewhere + "/build/Sub/Deep.INC:2: x\n" + source + ":2: y\n");
    EXPECT_EQ(filtered.err, "");
    EXPECT_EQ(filtered.exit_code, 0);
}

// An include made outside the build folder or over a source, one path made
// of two sources, and names that the assembler would see twice: refused,
// with nothing written.
TEST(Build, IncludesThatCannotBeMadeStopTheBuild) {
    // clang-format off
    const struct {
        std::string main, util;
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {"include ..\\util.inc\n", "", {"src/main.asm", "build/main.asm"},
         "src/main.asm:1: error: ..\\util.inc would be made as util.inc, outside the build folder build/\n"},
        {"include ..\\other\\util.inc\n", "", {"src/main.asm", "build/main.asm"},
         "src/main.asm:1: error: ..\\other\\util.inc would be made as other/util.inc, outside the build folder build/\n"},
        {"include util.inc\n", "", {"src/main.asm", "src/main.out"},
         "src/main.asm:1: error: util.inc would be made as src/util.inc, over the source src/util.inc\n"},
        {"\n include util.inc\n", "", {"src/main.asm", "build/main.asm", "other/other.asm", "build/other.asm"},
         "other/other.asm:1: error: util.inc would be made as build/util.inc, which is made of src/util.inc\n"},
        {"\n include util.inc\n", "", {"other/util.inc", "build/util.inc", "src/main.asm", "build/main.asm"},
         "src/main.asm:2: error: util.inc would be made as build/util.inc, which is made of other/util.inc\n"},
        {"p:\n@@l:\tjmp @@l\ninclude util.inc\n", "q:\n@@L:\tret\n", {"-l@@", "src/main.asm", "build/main.asm"},
         "src/util.inc:2:1: error: -l@@ makes @@L L_0000, as src/main.asm does at line 2 [name-clash]\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        TempDir dir;
        fs::create_directories(dir / "src");
        write_file(dir / "src/main.asm", c.main);
        write_file(dir / "src/util.inc", c.util);
        write_file(dir / "util.inc", "");
        fs::create_directories(dir / "other");
        write_file(dir / "other/other.asm", "include util.inc\n");
        write_file(dir / "other/util.inc", "");
        const std::vector<std::string> before = listing(dir.path());
        const RunResult result = run_build(c.args, dir.path());
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.exit_code, 2);
        EXPECT_EQ(listing(dir.path()), before) << c.err;
    }
}

// A build folder that mirrors the sources from a folder high enough, named
// by a pair of folders, takes an include that climbs out of the source's folder.
TEST(Build, FolderPairsTakeIncludesThatClimb) {
    TempDir dir;
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "inc");
    write_file(dir / "src/a.asm", "include ..\\INC\\Util.inc\n");
    write_file(dir / "inc/util.inc", "u: ret\n");
    const RunResult result = run_build({"./", "build/", "src/a.asm", "build/src/a.asm"}, dir.path());
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(listing(dir / "build"), (std::vector<std::string>{"INC", "INC/Util.inc", "src", "src/a.asm"}));
    EXPECT_EQ(read_file(dir / "build/INC/Util.inc"), "u: ret\r\n");
}

// keston-check finds includes as build mode does.
TEST(Build, CheckFindsIncludesAsDosSourcesWriteThem) {
    const IncludingSources dir;
    write_file(dir / "src/sub/deep.inc", "deep:\n@@go: ret\n");
    const RunResult result = run_check({"-l@@", "src/main.asm", "src/util.inc", "src/sub/deep.inc"}, dir.path());
    EXPECT_EQ(result.out,
              "src/sub/deep.inc:2:1: warning: -l@@ makes @@go go_0000, as src/main.asm does at line 3 [name-clash]\n");
    EXPECT_EQ(result.exit_code, 1);
}

// -d writes the dependency file as gcc -MD -MP does, with names escaped as make reads them.
TEST(Build, DependencyFilesNameTheSourceAndEveryIncludeItMakes) {
    const std::string deep = UNDER_WINE ? "src/Sub/Deep.INC" : "src/sub/deep.inc";
    const IncludingSources dir;
    fs::create_directories(dir / "my src");
    fs::copy_file(dir / "src/main.asm", dir / "my src/m$#.asm");
    fs::copy_file(dir / "src/util.inc", dir / "my src/util.inc");
    ASSERT_EQ(run_build({"-d", "my src/m$#.asm", "build/main.asm", "src/main.asm", "out/main.asm"}, dir.path()).err,
              "");
    EXPECT_EQ(read_file(dir / "build/main.asm.d"),
              "build/main.asm: my\\ src/m$$\\#.asm my\\ src/util.inc\n\nmy\\ src/util.inc:\n");
    EXPECT_EQ(read_file(dir / "out/main.asm.d"),
              "out/main.asm: src/main.asm src/util.inc " + deep + "\n\nsrc/util.inc:\n\n" + deep + ":\n");
}

// A destination gets a new time when its bytes change or an include it
// makes changes or is newer (another run made it), and only then.
TEST(Build, TimesFollowTheBytesOfTheDestinationAndItsIncludes) {
    const IncludingSources dir;
    const std::vector<std::string> args = {"-a", "-l@@", "src/main.asm", "build/main.asm"};
    ASSERT_EQ(run_build(args, dir.path()).exit_code, 0);
    const auto old_time = fs::last_write_time(dir / "build/main.asm") - std::chrono::hours(1);
    const struct {
        const char* file;
        std::string text;  // written to file before the run; empty: the made include's time is set forward
        bool renewed;
    } steps[] = {
        {"src/util.inc", read_file(dir / "src/util.inc"), false},  // touched
        {"src/sub/deep.inc", "deep:\n@@deep: ret ; y\n", false},   // a comment changed
        {"src/sub/deep.inc", "deep:\n@@deep: nop\n", true},        // code changed
        {"build/util.inc", "", true},                              // made newer by another run
    };
    for (const auto& step : steps) {
        for (const char* made : {"build/main.asm", "build/util.inc", "build/Sub/Deep.INC"}) {
            fs::last_write_time(dir / made, old_time);
        }
        if (step.text.empty()) {
            fs::last_write_time(dir / step.file, old_time + std::chrono::minutes(1));
        } else {
            write_file(dir / step.file, step.text);
        }
        ASSERT_EQ(run_build(args, dir.path()).exit_code, 0);
        EXPECT_EQ(fs::last_write_time(dir / "build/main.asm") != old_time, step.renewed) << step.file;
        EXPECT_EQ(fs::last_write_time(dir / "build/main.asm") >= fs::last_write_time(dir / "build/util.inc"), true)
            << step.file;
    }
}

// A failed read of the source, and a failed write of the new destination
// that the system reports only at its close.
TEST(Posix, FailedReadsAndWritesStopTheBuild) {
    TempDir dir;
    write_file(dir / "in.asm", numbered_lines(3000));
    write_file(dir / "out.asm", "before\r\n");
    const struct {
        std::vector<std::string> environment;
        std::string err;
    } cases[] = {
        {io_fault("in.asm", "fail", 20005), "in.asm:2112: error: read error\n"},
        {io_fault(".keston-", "close"), "out.asm:0: error: cannot be written\n"},
    };
    for (const auto& c : cases) {
        for (const char* mode : {"-q", "-f"}) {
            const RunResult result = run_build({mode, "in.asm", "out.asm"}, dir.path(), {.environment = c.environment});
            EXPECT_EQ(result.err, c.err) << mode;
            EXPECT_EQ(result.exit_code, 2);
            EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"in.asm", "out.asm"}));
            EXPECT_EQ(read_file(dir / "out.asm"), "before\r\n");
        }
    }
}

// Two runs that make one destination at once, from different switches: the
// destination is always one of the two results, whole, and nothing else is left.
TEST(Posix, ConcurrentBuildsOfOneDestinationLeaveItWhole) {
    TempDir dir;
    std::string source;
    for (int i = 0; i < 20000; ++i) source += "\tmov ax, " + std::to_string(i) + "    ; n\n";
    write_file(dir / "in.asm", source);
    const std::vector<std::string> first = {"-b", "-a", "in.asm", "out.asm"};
    const std::vector<std::string> second = {"-b", "-t", "in.asm", "out.asm"};
    ASSERT_EQ(run_keston({"-a", "in.asm", "a.asm"}, dir.path()).exit_code, 0);
    ASSERT_EQ(run_keston({"-t", "in.asm", "t.asm"}, dir.path()).exit_code, 0);
    const std::string results[] = {read_file(dir / "a.asm"), read_file(dir / "t.asm")};
    int whole = 0;
    for (int pair = 0; pair < 100; ++pair) {
        std::vector<std::string> one = companion_command("keston-map");
        std::vector<std::string> two = one;
        one.insert(one.end(), first.begin(), first.end());
        two.insert(two.end(), second.begin(), second.end());
        const Child a = start_program(pair % 2 == 0 ? one : two, dir.path());
        const Child b = start_program(pair % 2 == 0 ? two : one, dir.path());
        const bool both_done = finish(a).exit_code == 0 && finish(b).exit_code == 0;
        const std::string made = read_file(dir / "out.asm");
        if (both_done && (made == results[0] || made == results[1])) ++whole;
    }
    EXPECT_EQ(whole, 100);
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"a.asm", "in.asm", "out.asm", "t.asm"}));
}

}  // namespace
}  // namespace keston::test
