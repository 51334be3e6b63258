// Assembles sources with nasm before and after keston and compares the bytes:
// switch sets that keep a source's meaning give the same binary, and each
// trap of the documentation that nasm shares changes the bytes or breaks the
// assembly. nasm's names are case-sensitive and it continues a line after a
// trailing backslash, not after a comma.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <regex>
#include <sstream>

#include "support/harness.h"
#include "support/joined_output.h"

namespace keston::test {
namespace {

// The flat binary nasm makes of source, or nothing when it does not assemble.
std::optional<std::string> assemble(const std::string& source) {
    TempDir dir;
    write_file(dir / "a.asm", source);
    const std::string command =
        "nasm -f bin -o '" + (dir / "a.bin").string() + "' '" + (dir / "a.asm").string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return std::nullopt;
    return read_file(dir / "a.bin");
}

std::string keston(const std::string& source, std::vector<std::string> switches) {
    TempDir dir;
    write_file(dir / "in.asm", source);
    switches.insert(switches.end(), {"in.asm", "out.asm"});
    const RunResult result = run_keston(switches, dir.path());
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exit_code, 0);
    return read_file(dir / "out.asm");
}

class Nasm : public ::testing::Test {
   protected:
    void SetUp() override {
        if (std::system("nasm -v >/dev/null 2>&1") == 0) return;
        if (std::getenv("CI")) FAIL() << "nasm is missing; CI must have it (apt-get install nasm)";
        GTEST_SKIP() << "nasm is not installed (apt-get install nasm); skipping the assembler comparisons";
    }
};

TEST_F(Nasm, SwitchSetsThatKeepTheMeaningKeepTheBytes) {
    const std::vector<std::vector<std::string>> switch_sets = {
        {"-a"},         {"-a", "-c"}, {"-c"},
        {"-e"},         {"-s"},       {"-t"},
        {"-s4", "-t4"}, {"-l@@"},     {"-a", "-c", "-s", "-t", "-l@@", "-e"}};
    for (const char* sample : {"boot.asm", "tables.asm", "strings.asm"}) {
        const std::string source = read_file(std::filesystem::path(KESTON_NASM_SAMPLES) / sample);
        ASSERT_NE(source, "") << sample;
        // nasm's own local labels: ".name" belongs to the label above it, the
        // scope that keston gives "@@name" in these samples.
        const std::optional<std::string> expected = assemble(std::regex_replace(source, std::regex("@@"), "."));
        ASSERT_TRUE(expected) << sample;
        // Names reused across procedures collide until keston numbers them apart.
        const bool reuses_names = source.find("@@") != std::string::npos;
        EXPECT_NE(assemble(source).has_value(), reuses_names) << sample;
        for (std::vector<std::string> switches : switch_sets) {
            if (reuses_names && std::ranges::count(switches, "-l@@") == 0) switches.push_back("-l@@");
            EXPECT_EQ(assemble(keston(source, switches)), expected) << sample << testing::PrintToString(switches);
        }
    }
}

enum Outcome { bytes_differ, does_not_assemble };

TEST_F(Nasm, TrapsChangeTheBytesOrBreakTheAssembly) {
    // clang-format off
    const struct {
        const char* source;  // assembles as it stands
        std::vector<std::string> switches;
        Outcome outcome;
    } cases[] = {
        // Single quotes protect neither spaces from -t nor names from -l, and no quotes protect a TAB.
        {"msg db 'Part missing!     ',0\n", {"-t"}, bytes_differ},
        {"\tdb\t'a\tb',0\n", {"-s"}, bytes_differ},
        {"\tdb\t\"a\tb\",0\n", {"-t"}, bytes_differ},
        {"s:\tdb\t'@@loop',0\n", {"-l@@"}, bytes_differ},
        {"\tdb\t'a;b',0\n", {"-a"}, does_not_assemble},                  // only ';' is kept in single quotes
        {"p:\n@@1:\tjmp\t@@1\n", {"-l@@"}, does_not_assemble},           // 1_0000 is a number, not a label
        {"p:\n@@l:\tdec\tcx\njnz\t@@l\n", {"-l@@"}, does_not_assemble},  // an unindented line opens a scope
        {"p:\n@@l:\tdec\tcx\n%ifdef DEBUG\n\tnop\n%endif\n\tjnz\t@@l\n", {"-l@@"}, does_not_assemble},
        {"\tdb\t1,\\\n\n\tdb\t2\n", {"-e"}, does_not_assemble},         // the continued line loses its end
        {"\tmov\tax, 7 // 2\n", {"-c"}, bytes_differ}};                  // nasm's signed division
    // clang-format on
    for (const auto& c : cases) {
        const std::optional<std::string> before = assemble(c.source);
        ASSERT_TRUE(before) << c.source;
        const std::optional<std::string> after = assemble(keston(c.source, c.switches));
        const bool as_documented = c.outcome == does_not_assemble ? !after : after && after != before;
        EXPECT_TRUE(as_documented) << c.source << testing::PrintToString(c.switches);
    }
}

// keston-check -x gives names that begin with a digit or '~' a letter: nasm
// then takes keston's output, as it takes the same source with its own
// local labels, where it refuses keston's output of the source as it was.
TEST_F(Nasm, FixedNamesAssembleWhereKestonsNamesDoNot) {
    for (const char* source :
         {"p:\n@@1:\tdec\tcx\n\tjnz\t@@1\n\tjmp\t@@10\n@@10:\tret\nq:\n@@1:\tjmp\t@@~2\n@@~2:\tret\n",
          "p:\n@@next:\tjmp\t@@1st\n@@1st:\tret\n"}) {
        EXPECT_FALSE(assemble(keston(source, {"-l@@"}))) << source;
        TempDir dir;
        write_file(dir / "in.asm", source);
        EXPECT_EQ(run_check({"-x", "-l@@", "in.asm"}, dir.path()).exit_code, 0) << source;
        const std::string fixed = read_file(dir / "in.asm");
        const std::optional<std::string> expected = assemble(std::regex_replace(fixed, std::regex("@@"), "."));
        ASSERT_TRUE(expected) << fixed;
        EXPECT_EQ(assemble(keston(fixed, {"-l@@"})), expected) << fixed;
    }
}

// MASM- and TASM-style sources whose procedures hold labels in column 0
// between a local name's definition and its use, spans nested and names
// used again in the next procedure; a TASM routine outside procedures
// needs nothing joined.
constexpr const char* SPLIT_SOURCES[] = {
    "; line drawing\n"
    "bdrwlin proc near\n"
    "\tmov\tcx,10\n"
    "@@delsx:\tdec\tsi\n"
    "\tjz\t@@done\n"
    "straight:\n"
    "\tadd\tdi,2\n"
    "\tjnz\t@@delsx\n"
    "l3::\tmov\tax,1 ; steep\n"
    "\tloop\t@@delsx\n"
    "@@done:\tret\n"
    "bdrwlin endp\n"
    "\n"
    "clear proc near\n"
    "\txor\tax,ax\n"
    "@@delsx:\tstosw\n"
    "wipe:\n"
    "\tloop\t@@delsx\n"
    "\tjmp\t@@done\n"
    "@@done:\tret\n"
    "clear endp\n",

    "PROC scan\n"
    "\tmov\tcx,8\n"
    "@@next:\tlodsb\n"
    "\tcmp\tal,' '\n"
    "\tje\t@@skip\n"
    "found:\tstosb\n"
    "@@skip:\tloop\t@@next\n"
    "\tret\n"
    "ENDP scan\n"
    "start:\n"
    "@@wait:\tin\tal,60h\n"
    "\ttest\tal,80h\n"
    "\tjnz\t@@wait\n"
    "\tret\n",
};

// nasm's spelling of a MASM- or TASM-style source as keston writes it (with
// CR LF): a procedure's first line is a label, its last line goes, and so
// does a label's second colon.
std::string for_nasm(const std::string& source) {
    static const std::regex start(R"((\w+)\s+proc(?:\s.*)?|proc\s+(\w+).*)", std::regex::icase);
    static const std::regex end(R"((?:\w+\s+)?endp(?:\s.*)?)", std::regex::icase);
    std::istringstream in(source);
    std::string nasm = "bits 16\n";
    for (std::string line; std::getline(in, line);) {
        if (line.ends_with('\r')) line.pop_back();
        std::smatch match;
        if (std::regex_match(line, match, start)) line = match[1].str() + match[2].str() + ":";
        if (std::regex_match(line, end)) line.clear();
        nasm += std::regex_replace(line, std::regex("::"), ":") + "\n";
    }
    return nasm;
}

// The source with each local name made its procedure's own, as a MASM-style assembler reads it.
std::string local_to_procedures(const std::string& source) {
    std::istringstream in(source);
    std::string result;
    int procedure = 0;
    for (std::string line; std::getline(in, line);) {
        if (std::regex_search(line, std::regex(R"(\bproc\b)", std::regex::icase))) ++procedure;
        result += std::regex_replace(line, std::regex(R"(@@(\w+))"), "$1_p" + std::to_string(procedure)) + "\n";
    }
    return result;
}

// keston-check -x joins the scopes that the labels split: nasm then takes
// keston's output, with the bytes of the source whose local names are its
// procedures' own, where it refuses keston's output of the source as it was;
// and the outputs differ only in the TABs and the joined names' numbers.
TEST_F(Nasm, JoinedScopesAssembleWhereSplitOnesDoNot) {
    for (const std::string source : SPLIT_SOURCES) {
        for (const std::vector<std::string>& switches : {std::vector<std::string>{"-l@@"}, {"-a", "-s", "-l@@"}}) {
            EXPECT_FALSE(assemble(for_nasm(keston(source, switches)))) << source;
            TempDir dir;
            write_file(dir / "in.asm", source);
            std::vector<std::string> args = switches;
            args.insert(args.end(), {"-x", "in.asm"});
            const RunResult check = run_check(args, dir.path());
            EXPECT_EQ(check.exit_code, 0) << check.out;
            const std::string fixed = read_file(dir / "in.asm");
            const std::optional<std::string> expected = assemble(for_nasm(local_to_procedures(source)));
            ASSERT_TRUE(expected) << source;
            EXPECT_EQ(assemble(for_nasm(keston(fixed, switches))), expected) << fixed;
            EXPECT_TRUE(differ_only_by_joining(keston(source, switches), keston(fixed, switches))) << fixed;
        }
    }
}

// keston-map around nasm: an error below lines that -a -e drop names the
// source, its line and the label as the source spells it; the status is nasm's.
TEST_F(Nasm, MapNamesTheSourceLineAndLabelOfAnError) {
    const struct {
        std::string source, err;
        int exit_code;
    } cases[] = {
        {"; entry\n\nstart:\n\t; jump\n\tjmp\t@@nothere\n", "a.asm:5: error: symbol `@@nothere' not defined\n", 1},
        {"; entry\n\nstart:\n@@loop:\tjmp\t@@loop\n", "", 0}};
    for (const auto& c : cases) {
        TempDir dir;
        std::filesystem::create_directories(dir / "out");
        write_file(dir / "a.asm", c.source);
        ASSERT_EQ(run_keston({"-a", "-e", "-l@@", "a.asm", "out/a.asm"}, dir.path()).exit_code, 0);
        const RunResult result = run_companion(
            "keston-map", {"-a", "-e", "-l@@", "a.asm", "out/a.asm", "--", "nasm", "-o", "out/a.bin", "out/a.asm"},
            dir.path());
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.exit_code, c.exit_code);
    }
}

}  // namespace
}  // namespace keston::test
