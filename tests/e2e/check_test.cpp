// keston-check through the built binary: the hazard report on standard
// output, the messages on standard error and the exit status.

#include <gtest/gtest.h>

#include "support/harness.h"

namespace keston::test {
namespace {

struct CheckCase {
    std::string source;  // of in.asm
    std::vector<std::string> args;
    std::string out;
    int exit_code;
    std::string err = "";
};

// clang-format off
TEST(Check, ReportsEachTrapOnlyWhereTheSwitchesCauseIt) {
    const CheckCase cases[] = {
        {"msg db 'Part missing!     ',0\n", {"-t", "in.asm"},
         "in.asm:1: -t changes the quoted string 'Part missing!     '\n", 1},
        {" db 'a\tb' ; x\n", {"-a", "-s", "in.asm"}, "in.asm:1: -s changes the quoted string 'a\tb'\n", 1},
        {" db 'a\tb'\n", {"-s", "-t", "in.asm"}, "", 0},  // expanded and compressed back to the same bytes
        {"p:\n db '@@loop' ; @@x\n", {"-l@@", "in.asm"}, "in.asm:2: -l@@ changes the quoted string '@@loop'\n", 1},
        {" db 'a;b','c'\n db \"a;b//c\"\n db 'x//y;z'\n", {"-a", "-c", "in.asm"},
         "in.asm:1: -a cuts the quoted string 'a;b'\nin.asm:2: -c cuts the quoted string \"a;b//c\"\n"
         "in.asm:3: -a and -c cut the quoted string 'x//y;z'\n", 1},
        {"dbg equ <;>\nok equ <a>\n", {"-a", "in.asm"}, "in.asm:1: -a cuts the text literal <;>\n", 1},
        {"p:\n@@1: jmp @@1\n", {"-l@@", "in.asm"}, "in.asm:2: -l@@ makes @@1 the invalid name 1_0000\n", 1},
        {"p:\n@@handle: jmp @@Handle\n", {"-l@@", "in.asm"},
         "in.asm:2: -l@@ numbers @@Handle apart from @@handle (line 2); the names differ only in case\n"
         "in.asm:2: -l@@ leaves @@Handle undefined here: the scope from line 1 does not define it\n", 1},
        {"p:\n jmp @@x\n@@y: nop\nq:\n jmp @@y\n@@x:\n", {"-l@@", "in.asm"},
         "in.asm:2: -l@@ leaves @@x undefined here: the scope from line 1 does not define it\n"
         "in.asm:5: -l@@ leaves @@y undefined here: it is defined in the previous scope, at line 3\n", 1},
        {"t db 1,\n\nu db 2, ; more\n\n\nv db 3\n\n", {"-e", "in.asm"},
         "in.asm:2: -e drops this empty line, which ends the list that line 1 continues with a comma\n"
         "in.asm:4: -e drops this empty line, which ends the list that line 3 continues with a comma\n", 1},
        {"p:\n mov ax,1 ; it's fine\n db \"a       b\",'abc'\n cmp al,';'\n@@a: jmp @@a // don't\n"
         " local @@v:word\n mov ax,@@v\n db 1, ; it's\n db 2\n\nn equ <a  b  c  d e>\n", {"-a", "-c", "-s", "-t", "-l@@", "-e", "in.asm"}, "", 0},
        {"p:\n db 1,\n\n jmp @@x\n db 'a;b'\n", {"-s", "in.asm"}, "", 0},  // the switches that cause them are not given
        {" db 'a;b'\n", {"-a", "missing.asm", "in.asm"}, "in.asm:1: -a cuts the quoted string 'a;b'\n", 2,
         "missing.asm: cannot be opened for reading\n"},
        {"a\n" + std::string(1023, 'x') + "\n db 'a;b'\n", {"-a", "in.asm"}, "", 2,
         fatal("Line 2 in input source file is too long") + "in.asm:2: keston stops at this line; the rest is not checked\n"},
        {" db 'a;b'\n", {"-a", "-x", "in.asm"}, "", 2, fatal("Unknown switch specified: -x")},
        {" db 'a;b'\n", {"-l@", "in.asm"}, "", 2, fatal("Invalid Local label prefix specified")}};
    // clang-format on
    for (const CheckCase& c : cases) {
        TempDir dir;
        write_file(dir / "in.asm", c.source);
        const RunResult result = run_check(c.args, dir.path());
        EXPECT_EQ(result.out, c.out) << c.source;
        EXPECT_EQ(result.err, c.err) << c.source;
        EXPECT_EQ(result.exit_code, c.exit_code) << c.source;
    }
}

}  // namespace
}  // namespace keston::test
