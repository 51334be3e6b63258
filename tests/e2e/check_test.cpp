// keston-check through the built binary: the hazard report on standard
// output, the messages on standard error and the exit status.

#include <gtest/gtest.h>

#include "support/harness.h"

namespace keston::test {
namespace {

// One report line on in.asm.
std::string warn(const std::string& place, const std::string& text, const std::string& hazard) {
    return "in.asm:" + place + ": warning: " + text + " [" + hazard + "]\n";
}

// clang-format off
TEST(Check, ReportsEachTrapOnlyWhereTheSwitchesCauseIt) {
    std::string crowded_scope = "p:\n";  // more names than a scope can hold, none defined
    for (int i = 0; i < 4098; ++i) crowded_scope += " dw @@n" + std::to_string(i) + "\n";
    std::string cut_lines, cut_reports;  // more than the report buffer holds
    for (int i = 1; i <= 2000; ++i) {
        cut_lines += " db 'a;b'\n";
        cut_reports += warn(std::to_string(i) + ":7", "-a cuts the quoted string 'a;b'", "quoted-text");
    }
    const std::string usage = run_check({"-?"}, std::filesystem::temp_directory_path()).out;  // -? on the report
    ASSERT_TRUE(usage.starts_with("Usage: keston-check [{/|-}<switch> [...]] <src_name> [...]\n"));
    const std::string a_cut = warn("1:7", "-a cuts the quoted string 'a;b'", "quoted-text");
    const std::string each_file =  // the same report for each file: each starts afresh
        warn("1:6", "-l@@ makes @@1 the invalid name 1_0000", "invalid-name") +
        warn("1:6", "-l@@ leaves @@1 undefined here: the scope from line 1 does not define it", "undefined-name") +
        warn("3:10", "-l@@ makes @@1 the invalid name 1_0002", "invalid-name");
    const struct {
        std::string source;  // of in.asm
        std::vector<std::string> args;
        std::string out;
        int exit_code;
        std::string err = "";
        std::string other = "";  // of ok.asm
    } cases[] = {
        {"msg db 'Part missing!     ',0\n db 'abc  \n", {"-a", "-t", "in.asm"},
         warn("1:8", "-t changes the quoted string 'Part missing!     '", "quoted-text") +
         warn("2:5", "-t changes the quoted string 'abc  ", "quoted-text"), 1},
        {" db 'a''\tb' ; x\n", {"-a", "-s", "in.asm"}, warn("1:5", "-s changes the quoted string 'a''\tb'", "quoted-text"), 1},
        {"p:\n db '@@loop\t' ; @@x\n", {"-s", "-t", "-l@@", "in.asm"},
         warn("2:5", "-s, -t and -l@@ change the quoted string '@@loop\t'", "quoted-text"), 1},
        {" db 8/2,'a;b','c'\n db \"a;b//c\"\n db 'x//y;z'\n", {"-a", "-c", "in.asm"},
         warn("1:11", "-a cuts the quoted string 'a;b'", "quoted-text") +
         warn("2:9", "-c cuts the quoted string \"a;b//c\"", "quoted-text") +
         warn("3:7", "-a and -c cut the quoted string 'x//y;z'", "quoted-text"), 1},
        {"ok equ <a>\ndbg equ <;!>>\n", {"-a", "in.asm"}, warn("2:10", "-a cuts the text literal <;!>>", "text-literal"), 1},
        {"p:\n db \"a//b\",@@1,'c'\n@@~2:\n", {"-c", "-l@@", "in.asm"},  // -c drops @@1 before -l numbers it
         warn("2:7", "-c cuts the quoted string \"a//b\"", "quoted-text") +
         warn("3:1", "-l@@ makes @@~2 the invalid name ~2_0000", "invalid-name"), 1},
        {" jmp @@1\np:\n@@a: jmp @@1\n@@1: db 1,\n\n", {"-e", "-l@@", "in.asm", "in.asm"},
         each_file + each_file, 1},
        {"p:\n@_Zona: jmp @_zonA\n", {"-l@_", "in.asm"},
         warn("2:13", "-l@_ numbers @_zonA apart from @_Zona (line 2); the names differ only in case", "case-twin") +
         warn("2:13", "-l@_ leaves @_zonA undefined here: the scope from line 1 does not define it", "undefined-name"), 1},
        {"p proc c @@x:dword, \\\n @@y:word, @@w:word\n local @@a:dword,\n @@b:dword, @@c:dword \\ ; c\n @@d:word\n"
         " dw @@w,@@c,\n dw @@d,@@q\n local @@g,\n\n mov @@h,1\n localize @@s\nq proc near uses ax bx, @@e:word, @@f:word\n"
         " mov @@e,@@f\nPROC r @@z\n arg\t@@i,\n@@j, @@k\n mov @@z,@@k\n", {"-l@@", "in.asm"},  // lists and parameters
         warn("7:9", "-l@@ leaves @@q undefined here: the scope from line 1 does not define it", "undefined-name") +
         warn("10:6", "-l@@ leaves @@h undefined here: the scope from line 1 does not define it", "undefined-name") +
         warn("11:11", "-l@@ leaves @@s undefined here: the scope from line 1 does not define it", "undefined-name"), 1},
        {"foo:\n db <@@x>\n", {"-l@@", "in.asm"},
         warn("2:6", "-l@@ leaves @@x undefined here: the scope from line 1 does not define it", "undefined-name"), 1},
        {cut_lines, {"-a", "in.asm"}, cut_reports, 1},
        {"p:\n jmp @@x\n@@xy: jmp @@x\nq:\n jmp @@xy\n jmp @@x\n", {"-l@@", "in.asm"},
         warn("2:6", "-l@@ leaves @@x undefined here: the scope from line 1 does not define it", "undefined-name") +
         warn("5:6", "-l@@ leaves @@xy undefined here: it is defined in the previous scope, at line 3", "scope-split") +
         warn("6:6", "-l@@ leaves @@x undefined here: the scope from line 4 does not define it", "undefined-name"), 1},
        {"t db 1,\n\nu db 2, ; more\n\n\nv db 3\n,\n\nw db 4,\n\n; no code joins\n", {"-e", "in.asm"},
         warn("2:1", "-e drops this empty line, which ends the list that line 1 continues with a comma", "dropped-line") +
         warn("4:1", "-e drops this empty line, which ends the list that line 3 continues with a comma", "dropped-line") +
         warn("8:1", "-e drops this empty line, which ends the list that line 7 continues with a comma", "dropped-line"), 1},
        {"p:\n mov ax,1 ; it's fine\n db \"a       b\",'a\tb'\n cmp al,';'\n @@a_1: jmp @@a_1 // don't\n local @@v:word\n"
         " arg @@w\n\n mov ax,@@v\n mov bx,@@w\n db 1, ; it's\n db 2\n\nn equ <a  b  c  d e>\n",
         {"-a", "-c", "-s", "-t", "-l@@", "-e", "in.asm"}, "", 0},
        {"p:\n db 1,\n\n jmp @@x\n db 'a;b'\n", {"-s", "in.asm"}, "", 0},
        // A comment block is no code: nothing in it is reported, yet -l opens a scope at it.
        {"p:\ncomment ! db 'a;b'\n jmp @@y\n db 'a;b' !\n db 'c;d'\n  Comment~x~ db 'a;b'\ncommentary 'g;h'\n",
         {"-a", "-l@@", "in.asm"}, warn("5:7", "-a cuts the quoted string 'c;d'", "quoted-text") +
         warn("7:14", "-a cuts the quoted string 'g;h'", "quoted-text"), 1},
        {"p:\n@@x: db 1,\n\ncomment ~ text ~\n jmp @@x\n", {"-e", "-l@@", "in.asm"},  // a comment joins no list
         warn("5:6", "-l@@ leaves @@x undefined here: it is defined in the previous scope, at line 2", "scope-split"), 1},  // the switches that cause them are not given
        {" db 'a;b'\n", {"-a", "missing.asm", "in.asm"}, a_cut, 2, "missing.asm:0: error: cannot be opened for reading\n"},
        {"a\n" + std::string(1023, 'x') + "\n db 'a;b'\n", {"-a", "in.asm", "ok.asm"},  // the next file is checked whole
         "ok.asm:1:7: warning: -a cuts the quoted string 'a;b' [quoted-text]\n", 2,
         fatal("Line 2 in input source file is too long") + "in.asm:2: error: keston stops at this line; the rest is not checked\n",
         " db 'a;b'\n"},
        {" jmp @@" + std::string(33, 'x') + "\n", {"-l@@", "in.asm"}, "", 2,
         fatal("Local label name is too long in line 1") + "in.asm:1: error: keston stops at this line; the rest is not checked\n"},
        {crowded_scope, {"-l@@", "in.asm"}, "", 2, "in.asm:4098: error: too many local label names in one scope to check them all\n"},
        {"", {"-?"}, usage, 0},
        {"", {}, "", 2, usage},  // without a source, on standard error
        {" db 'a;b'\n", {"-a", "-x", "in.asm"}, "", 2, fatal("Unknown switch specified: -x")},
        {" db 'a;b'\n", {"-s0", "in.asm"}, "", 2, fatal("Switch -S has value less than lower limit")},
        {" db 'a;b'\n", {"-?", "in.asm"}, "", 2, fatal("Incompatible switch combination specified")},
        {" db 'a;b'\n", {"-l@", "in.asm"}, "", 2, fatal("Invalid Local label prefix specified")}};
    // clang-format on
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "in.asm", c.source);
        if (!c.other.empty()) write_file(dir / "ok.asm", c.other);
        const RunResult result = run_check(c.args, dir.path());
        EXPECT_EQ(result.out, c.out) << c.source;
        EXPECT_EQ(result.err, c.err) << c.source;
        EXPECT_EQ(result.exit_code, c.exit_code) << c.source;
    }
}

}  // namespace
}  // namespace keston::test
