// Every command-line and file-name failure, run through the real binary: the
// exact bytes on standard output, exit status 255, and nothing created or
// changed on disk. A bad label prefix is found once the source is open and
// both names are known, before the destination is created.

#include <gtest/gtest.h>

#include "support/harness.h"

namespace keston::test {
namespace {

const std::string USAGE = BANNER +
                          "\n\rUsage: keston [{/|-}<switch> [...]]] <src_name> <dst_name>\n\rSwitches:\n\r"
                          "   -#      - verbose operations\n\r   -lxx    - local label processing, where\n\r"
                          "           - xx are the two chars of prefix\n\r   -f      - read the whole input file\n\r"
                          "   -q      - no line processing after quotes\n\r   -e      - do not write empty lines\n\r"
                          "   -t[n]   - compress spaces into tabs\n\r   -s[n]   - expand tabs into spaces\n\r"
                          "   -a      - remove asm-style comments\n\r   -c      - remove cpp-style comments\n\r"
                          "   -?      - display this help message\n\r\n\r";

// clang-format off
TEST(CommandLine, EachFailureGivesItsOneMessageAndCreatesNothing) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, USAGE}, {{"-?"}, USAGE}, {{"-h"}, USAGE}, {{"/H"}, USAGE},
        {{"-?x"}, fatal("Switch -? has unexpected value")}, {{"-ae"}, fatal("Switch -a has unexpected value")},
        {{"-l"}, fatal("Switch -l must have value")}, {{"-L"}, fatal("Switch -L must have value")},
        {{"-t0"}, fatal("Switch -T has value less than lower limit")},
        {{"-t65"}, fatal("Switch -T has value more than upper limit")},
        {{"-s999999999"}, fatal("Switch -S has value more than upper limit")},
        {{"-t1234567890"}, fatal("Switch -t has invalid value")}, {{"-Tx"}, fatal("Switch -T has invalid value")},
        {{"/t+4"}, fatal("Switch -t has invalid value")},
        {{"-a", "-A"}, fatal("Multiple switch specification")}, {{"-h", "-?"}, fatal("Multiple switch specification")},
        {{"-?", "-a"}, fatal("Incompatible switch combination specified")},
        {{"-?", "in.asm"}, fatal("Incompatible switch combination specified")},
        {{"-h", "in.asm", "out.asm"}, fatal("Incompatible switch combination specified")},
        {{"-#", "-h"}, fatal("Incompatible switch combination specified")},
        {{"-s0", "-t0"}, fatal("Switch -S has value less than lower limit")},  // values are checked first
        {{"-?", "-t0"}, fatal("Switch -T has value less than lower limit")},
        {{"a", "b", "c"}, fatal("Too many filenames specified")},
        {{"-x", "a", "b", "c"}, fatal("Unknown switch specified: -x")},
        {{"a", "b", "c", "-x"}, fatal("Too many filenames specified")},
        {{"-a", ""}, fatal("Command line syntax error")}, {{"-"}, fatal("Command line syntax error")},
        {{"/"}, fatal("Command line syntax error")}, {{"/xyz"}, fatal("Unknown switch specified: -xyz")},
        {{"--"}, fatal("Unknown switch specified: --")},
        {{std::string(256, 'n')}, fatal("Too long filename")}, {{std::string(250, 'n')}, fatal("Too long filename")},
        {{"-a"}, fatal("Input file name is not specified")},
        {{"-t64", "in.asm"}, fatal("Output file name is not specified")},  // 64 is within the limits
        {{"missing.asm", "out.asm"}, fatal("Input file open failure")}, {{"missing"}, fatal("Input file open failure")},
        {{"-t", "4", "out"}, fatal("Input file open failure")},  // the source is 4.ASM
        {{".", "out.asm"}, fatal("Input file open failure")},
        {{"in.asm", "no/such/out.asm"}, fatal("Output file creation failure")},
        {{"in.asm", "."}, fatal("Output file creation failure")},
        {{"-l@", "in.asm", "out.asm"}, fatal("Invalid Local label prefix specified")},
        {{"-l@@@", "in.asm", "out.asm"}, fatal("Invalid Local label prefix specified")},
        {{"-lx", "in.asm"}, fatal("Output file name is not specified")},
        {{"-l@", "missing.asm", "out.asm"}, fatal("Input file open failure")}};
    // clang-format on
    for (const auto& [args, out] : cases) {
        TempDir dir;
        write_file(dir / "in.asm", "x\n");
        write_file(dir / "out.asm", "old");
        const RunResult result = run_keston(args, dir.path());
        const std::string shown = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(result.out, out) << shown;
        EXPECT_EQ(result.exit_code, 255) << shown;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << shown;
        EXPECT_EQ(read_file(dir / "out.asm"), "old") << shown;
    }
}

// --help and --version, each as a program's only argument, answer on standard
// output with status 0 and nothing else: the usage text that -? shows, and
// one line with the program's name and the version of the build. Beside
// another argument --help is an unknown switch, as it always was.
TEST(CommandLine, HelpAndVersionAloneAnswerEveryProgram) {
    const struct {
        std::string program, usage_start;
        int refused_status;
        bool messages_on_standard_error;
    } programs[] = {{"keston", USAGE, 255, false},
                    {"keston-check", "Usage: keston-check [{/|-}<switch> [...]] <src_name> [...]\n", 2, true},
                    {"keston-map", "Usage: keston-map [{/|-}<switch> [...]] <src_name> <dst_name> [", 2, true}};
    for (const auto& p : programs) {
        TempDir dir;
        write_file(dir / "in.asm", "x\n");
        const RunResult help = run_companion(p.program, {"--help"}, dir.path());
        EXPECT_TRUE(help.out.starts_with(p.usage_start)) << p.program << help.out;
        EXPECT_EQ(help.out, run_companion(p.program, {"-?"}, dir.path()).out) << p.program;
        const RunResult version = run_companion(p.program, {"--version"}, dir.path());
        EXPECT_EQ(version.out, p.program + " " KESTON_PROJECT_VERSION "\n");
        for (const RunResult& answer : {help, version}) {
            EXPECT_EQ(answer.err, "") << p.program;
            EXPECT_EQ(answer.exit_code, 0) << p.program;
        }
        const RunResult refused = run_companion(p.program, {"--help", "in.asm"}, dir.path());
        const std::string message = fatal("Unknown switch specified: --help");
        EXPECT_EQ(refused.out, p.messages_on_standard_error ? "" : message) << p.program;
        EXPECT_EQ(refused.err, p.messages_on_standard_error ? message : "") << p.program;
        EXPECT_EQ(refused.exit_code, p.refused_status) << p.program;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << p.program;
    }
}

}  // namespace
}  // namespace keston::test
