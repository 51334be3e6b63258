// Whole runs through the real binary: destination bytes, messages and exit
// status, each run in chunked and in whole-file (-f) mode.

#include <gtest/gtest.h>

#include "support/harness.h"

namespace keston::test {
namespace {

// clang-format off
TEST(Run, LinesComeOutWithCrLfThroughTheChosenChain) {
    const std::string x1015(1015, 'x');
    const std::string x40(40, 'x');
    const struct {
        std::vector<std::string> switches;
        std::string source;
        std::string destination;
        std::string out = "";  // standard output
    } cases[] = {
        {{}, "", ""}, {{}, "a\r\nb\nc\rd\n\re", "a\r\nb\r\ncd\r\ne\r\n"}, {{}, std::string("A\0B\n\t \n", 6), "A\r\n\t \r\n"},
        {{"-a", "-c", "-s", "-t", "-l@@"}, std::string("a\tb @@x\0;//\t\n", 13), "a\tb x_0000\r\n"},  // a NUL ends the line
        {{"-e"}, "a\n\n  \nb\n", "a\r\n  \r\nb\r\n"}, {{"-e", "-s"}, "a\n\n \t\nb\n", "a\r\nb\r\n"},
        // Long enough for the run of lines that need only their CR LF: -e keeps every line from it.
        {{"-e"}, "\r\n" + x40 + "\r\n\r\n\n" + x40 + "\r\n\r\n", x40 + "\r\n" + x40 + "\r\n"},
        {{"-a", "-e"}, "; only\nmov ax,1 ; c\n", "mov ax,1\r\n"}, {{"-t"}, "        mov ax,1  \nab  c\n", "\tmov ax,1\r\nab  c\r\n"},
        {{"-t4"}, "ab  c\n\tab\tc\n", "ab\tc\r\n\tab\tc\r\n"}, {{"-s2", "-t4"}, "\t\tx\n\tx\n", "\tx\r\n  x\r\n"},
        {{"-s", "-t4"}, "\t\tx\n", "\t\tx\r\n"}, {{"-t1"}, "a b\n", "a\tb\r\n"},
        // Labels are numbered per scope through the file; an empty line opens none,
        // and a bare prefix meeting an empty name list takes a number.
        {{"-l@@"}, "p1:\n@@l:\tjnz\t@@l\n\n\tdb\t'@@l',0\np2:\n@@l:\tjmp\t@@done\n",
         "p1:\r\nl_0000:\tjnz\tl_0000\r\n\r\n\tdb\t'l_0000',0\r\np2:\r\nl_0001:\tjmp\tdone_0002\r\n"},
        {{"-l@@"}, "sub1:\n\tjz\t@@loop2\n\tjmp\t@@loop\n\tmov\tax,@@\nnext:\n\tmov\tbx,@@+2\n\tjmp\t@@x\nlast: @@y\n",
         "sub1:\r\n\tjz\tloop2_0000\r\n\tjmp\tloop_0000\r\n\tmov\tax,@@\r\nnext:\r\n\tmov\tbx,@@+2\r\n\tjmp\tx_0001\r\nlast: y_0003\r\n"},
        // The whole chain: comments go first, labels work on expanded columns, then tabs come back.
        {{"-a", "-c", "-s", "-t", "-l@@", "-e"}, "f:\t; entry\n@@l:\tmov\tax,1 // one\n\n\tjnz\t@@l\n",
         "f:\r\nl_0000:\t   mov\t   ax,1\r\n\tjnz\tl_0000\r\n"},
        {{"-s"}, "a\n\t" + x1015 + "\n\t" + x1015 + "x\nb\n", "a\r\n        " + x1015 + "\r\n",
         fatal("Line 3 is too long after tab conversion")},
        {{}, "a\nb\n" + std::string(1023, 'x') + "\nc\n", "a\r\nb\r\n", fatal("Line 3 in input source file is too long")},
        {{"-l@@"}, "p:\n @@" + std::string(33, 'n') + "\n", "p:\r\n", fatal("Local label name is too long in line 2")},
        {{"-l@@"}, "p:\n@@a$?@_: jmp @@a$?@_-1\n", "p:\r\na$?@__0000: jmp a$?@__0000-1\r\n"},
        {{"-#"}, "x\n", "x\r\n", BANNER + "\r\nInput file name : in.asm\r\nOutput file name: out.asm\n"}};
    // clang-format on
    for (const auto& c : cases) {
        for (const char* mode : {"-q", "-f"}) {  // -q changes nothing, so every run takes one switch more
            TempDir dir;
            write_file(dir / "in.asm", c.source);
            std::vector<std::string> args = c.switches;
            args.insert(args.end(), {mode, "in.asm", "out.asm"});
            const RunResult result = run_keston(args, dir.path());
            const std::string shown = (c.switches.empty() ? "" : c.switches[0]) + mode + " " + c.source.substr(0, 40);
            EXPECT_EQ(result.out, c.out) << shown;
            EXPECT_EQ(result.exit_code, 0) << shown;
            EXPECT_EQ(read_file(dir / "out.asm"), c.destination) << shown;
        }
    }
}

// Also run against the Windows build: names are bytes (UTF-8 there too), and a
// source named as the destination is rewritten in place unless it is read-only
// (which the superuser may write on POSIX).
TEST(Run, NamesAreTakenAsBytesAndTheSourceRewrittenInPlace) {
    const bool read_only_refused = std::getenv("KESTON_WINDOWS_EXE") != nullptr || ::geteuid() != 0;
    const struct {
        std::string source, destination;
        bool read_only;
    } cases[] = {{"тест.asm", "日本.asm", false}, {"日本.asm", "./日本.asm", false}, {"f.asm", "f.asm", true}};
    for (const auto& c : cases) {
        for (const char* mode : {"-q", "-f"}) {
            TempDir dir;
            write_file(dir / c.source, "a ; x\nb\n");
            if (c.read_only) std::filesystem::permissions(dir / c.source, std::filesystem::perms::owner_read);
            const RunResult result = run_keston({"-#", "-a", mode, c.source, c.destination}, dir.path());
            const bool refused = c.read_only && read_only_refused;
            EXPECT_EQ(result.out, BANNER + "\r\nInput file name : " + c.source + "\r\nOutput file name: " +
                                      c.destination + (refused ? fatal("Output file creation failure") : "\n"));
            EXPECT_EQ(result.exit_code, refused ? 255 : 0) << c.destination;
            EXPECT_EQ(read_file(dir / c.destination), refused ? "a ; x\nb\n" : "a\r\nb\r\n") << c.destination;
            const bool in_place = std::filesystem::path(c.destination).filename() == c.source;
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), in_place ? 1 : 2);
        }
    }
}

// POSIX only. With standard output as the destination, standard output holds
// the data alone and everything else goes to standard error.
TEST(Posix, DeviceNamesAreTakenAsWrittenAndWriteFailuresReportedOnce) {
    TempDir dir;
    write_file(dir / "in.asm", "a ; x\n");
    write_file(dir / "long.asm", "a\nb\n" + std::string(1023, 'x') + "\n");
    write_file(dir / "block.asm", std::string(8192, '\n'));  // a full block waits for the close to write it
    const struct {
        std::vector<std::string> args;
        std::string out;
        std::string err = "";
    } cases[] = {{{"-a", (dir / "in.asm").string(), "/dev/stdout"}, "a\r\n"},
                 {{"long.asm", "/dev/fd/1"}, "a\r\nb\r\n", fatal("Line 3 in input source file is too long")},
                 {{"-#", "in.asm", "/dev/stdout"},
                  "a ; x\r\n",
                  BANNER + "\r\nInput file name : in.asm\r\nOutput file name: /dev/stdout\n"},
                 {{"block.asm", "/dev/./full"}, "\n\r?KESTON-I-Write file error while flushing data\n\r"},
                 {{"/dev/null", "out"}, ""}};
    for (const auto& c : cases) {
        const RunResult result = run_keston(c.args, dir.path());
        EXPECT_EQ(result.out, c.out) << c.args[1];
        EXPECT_EQ(result.err, c.err) << c.args[1];
        EXPECT_EQ(result.exit_code, 0) << c.args[1];
    }
    EXPECT_EQ(read_file(dir / "out.ASM"), "");
    EXPECT_EQ(static_cast<int>(std::filesystem::status(dir / "out.ASM").permissions()), 0600);  // a new file
}

// A destination named by its own path holds exactly the result, whatever
// standard output made of the file; a name of standard output itself takes it
// as the shell set it up, and the messages that standard error joins to it
// (2>&1). Either way the messages go to standard error.
TEST(Posix, StandardOutputOnTheDestinationLeavesItTheResult) {
    const std::string verbose = BANNER + "\r\nInput file name : in.asm\r\nOutput file name: ";
    const struct {
        const char* command_line;
        std::string destination, err;
        int status = 0;
    } cases[] = {{"-# in.asm out.asm 1<>out.asm", "a\r\n", verbose + "out.asm\n"},
                 {"-# in.asm out.asm >>out.asm", "a\r\n", verbose + "out.asm\n"},
                 {"-# in.asm /dev/stdout >>out.asm", "old old old\na\r\n", verbose + "/dev/stdout\n"},
                 {"-# in.asm /dev/fd/1 >out.asm", "a\r\n", verbose + "/dev/fd/1\n"},
                 {"-# in.asm /dev/stdout >out.asm 2>&1", verbose + "/dev/stdouta\r\n\n", ""},
                 // Standard error on the destination's file refuses the run (below), on a device not.
                 {"in.asm out.asm 1<>out.asm 2>&1", fatal("Output file creation failure"), "", 255},
                 {"in.asm /dev/null 2>/dev/null", "old old old\n", ""}};
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "in.asm", "a\n");
        write_file(dir / "out.asm", "old old old\n");
        const RunResult result = run_keston_in_shell(c.command_line, dir.path());
        EXPECT_EQ(result.out, "") << c.command_line;
        EXPECT_EQ(result.err, c.err) << c.command_line;
        EXPECT_EQ(result.exit_code, c.status) << c.command_line;
        EXPECT_EQ(read_file(dir / "out.asm"), c.destination) << c.command_line;
    }
}

// Where standard error reaches the file of a destination named by its own
// path, the file could not both hold exactly the result and show a failure:
// the run is refused before anything else is printed or opened, and the
// message is all that the file gets from it (in place, after the source that
// stays as it was). Run by the shell, as a build runs it.
TEST(Run, StandardErrorOnTheDestinationRefusesTheRun) {
    const std::string message = fatal("Output file creation failure");
    const std::pair<const char*, std::string> cases[] = {{"-# in.asm out.asm >out.asm 2>&1", message},
                                                         {"-# in.asm out.asm 2>out.asm", message},
                                                         {"in.asm ./out.asm 2>>out.asm", "old old old\n" + message},
                                                         {"-f out.asm out.asm 2>>out.asm", "old old old\n" + message}};
    for (const auto& [command_line, destination] : cases) {
        TempDir dir;
        write_file(dir / "in.asm", "a\n");
        write_file(dir / "out.asm", "old old old\n");
        const RunResult result = run_keston_in_shell(command_line, dir.path());
        EXPECT_EQ(result.out, "") << command_line;
        EXPECT_EQ(result.err, "") << command_line;
        EXPECT_EQ(result.exit_code, 255) << command_line;
        EXPECT_EQ(read_file(dir / "out.asm"), destination) << command_line;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << command_line;
    }
}

}  // namespace
}  // namespace keston::test
