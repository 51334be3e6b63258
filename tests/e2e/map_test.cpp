// keston-map through the built binary: the assembler's messages in, the same
// messages about the sources out, in wrapper mode (-- command) and as a filter.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/harness.h"

namespace keston::test {
namespace {

// -a -e -t4 -l@@ drop the first two lines, number the labels and re-tab:
// out/a.asm holds start: / <TAB><TAB>jmp nothere_0000 / loop_0001: dec cx / <TAB><TAB>jnz loo_0001
const std::string SOURCE =
    "; header\n\nstart:\n        ; comment\n        jmp @@nothere\n@@loop: dec cx\n        jnz @@loo\n";
const std::vector<std::string> SWITCHES = {"-a", "-e", "-t4", "-l@@"};
const bool UNDER_WINE = std::getenv("KESTON_WINDOWS_EXE") != nullptr;

// A folder with the sources and what keston made of each, name.asm into out/name.asm.
struct Sources : TempDir {
    explicit Sources(const std::vector<std::pair<std::string, std::string>>& sources) {
        std::filesystem::create_directories(*this / "out");
        for (const auto& [name, text] : sources) {
            write_file(*this / name, text);
            std::vector<std::string> args = SWITCHES;
            args.insert(args.end(), {name, "out/" + name});
            EXPECT_EQ(run_keston(args, path()).exit_code, 0);
        }
    }
};

RunResult run_map(std::vector<std::string> args, const std::filesystem::path& dir, const ChildSetup& setup = {}) {
    args.insert(args.begin(), SWITCHES.begin(), SWITCHES.end());
    return run_companion("keston-map", args, dir, setup);
}

// The messages on standard input.
RunResult filter(const std::vector<std::string>& args, const TempDir& dir, const std::string& messages) {
    write_file(dir / "messages.txt", messages);
    return run_map(args, dir.path(), {.input = dir / "messages.txt"});
}

// The stand-in for the assemblers, built beside keston; keston-map finds it
// there under wine, as Windows looks in the program's folder first.
std::string messages_program() {
    return UNDER_WINE ? "assembler_messages" : companion_command("assembler_messages").back();
}

TEST(Map, EveryFormNamesTheSourceItsLineAndItsLabelsInBothModes) {
    const Sources dir({{"a.asm", SOURCE}});
    const std::vector<std::string> messages = {"3", "out/a.asm", "2", "nothere_0000"};
    const std::string out =
        "Assembling: out/a.asm\na.asm(5) : error A2006: undefined symbol : @@nothere\r\n"
        "**Error** a.asm(5) Undefined symbol: @@nothere\na.asm(5): Error! E032: '@@nothere' not defined\n"
        "a.asm [5]:\n\tjmp\t@@nothere\nerror: undefined symbol '@@nothere'.\n"
        "nothere_0000 is mentioned here without a reference";
    const std::string err =
        "a.asm:5: error: symbol `@@nothere' not defined\na.asm:5:9: error: unknown token in expression: @@nothere\n";
    std::vector<std::string> args = {"a.asm", "out/a.asm", "--", messages_program()};
    args.insert(args.end(), messages.begin(), messages.end());
    const RunResult wrapper = run_map(args, dir.path());
    EXPECT_EQ(wrapper.out, out);
    EXPECT_EQ(wrapper.err, err);
    EXPECT_EQ(wrapper.exit_code, 3);
    std::vector<std::string> direct = companion_command("assembler_messages");
    direct.insert(direct.end(), messages.begin(), messages.end());
    const RunResult printed = finish(start_program(direct, dir.path()));
    const RunResult filtered = filter({"a.asm", "out/a.asm"}, dir, printed.err + printed.out);
    EXPECT_EQ(filtered.out, err + out);
    EXPECT_EQ(filtered.exit_code, 0);
}

// clang-format off
TEST(Map, OnlyWholeNamesOfDestinationsWithAValidLineAreReferences) {
    const Sources dir({{"a.asm", SOURCE}, {"b.asm", "x:\n@@y: nop\n"}});
    const std::string long_line = "out/a.asm:2: " + std::string(70000, 'x') + " out/a.asm:2\n";
    const std::string longest_mapped = std::string(65536 - 13, 'x') + " out/a.asm:2\n";
    const struct {
        std::string in, out;
    } lines[] = {
        {"out/a.asm:2: error: x\n", "a.asm:5: error: x\n"},
        {"OUT/A.ASM:4:12: w\r\n", "a.asm:7:12: w\r\n"},  // the column stays
        {"/elsewhere/out/a.asm(1) x\n", "a.asm(3) x\n"},
        {"(out/a.asm:2) 'out\\a.asm:3' <\\a.asm:4>\n", "(a.asm:5) 'a.asm:6' <a.asm:7>\n"},
        {"data.asm:2: nothere_0000 a.asmx:2 a.asm.2 a.asm:x a.asm:\n", "data.asm:2: nothere_0000 a.asmx:2 a.asm.2 a.asm:x a.asm:\n"},
        {"a.asm(2 a.asm [2 a.asm  [2] a.asm[2] a.asm()\n", "a.asm(2 a.asm [2 a.asm  [2] a.asm[2] a.asm()\n"},
        {"out/a.asm(1) out/a.asm(2)out/a.asm(3)\n", "a.asm(3) a.asm(5)out/a.asm(3)\n"},  // the last is no whole token
        // A reference that cannot be mapped leaves its line whole, label names included, and the lines
        // of fasm's message under it; a later header of fasm's ends the message of one before it.
        {"out/a.asm:0: nothere_0000\n", "out/a.asm:0: nothere_0000\n"},
        {"OUT/A.ASM(5) : error A2006: nothere_0000 LOOP_0001\n", "OUT/A.ASM(5) : error A2006: nothere_0000 LOOP_0001\n"},
        {"out/a.asm [0]:\n jnz loo_0001\nerror: bad loo_0001.\n", "out/a.asm [0]:\n jnz loo_0001\nerror: bad loo_0001.\n"},
        {"out/a.asm [4]:\n jnz loo_0001\nout/a.asm [9]:\n jnz loo_0001\nerror: loo_0001\n",
         "a.asm [7]:\n jnz @@loo\nout/a.asm [9]:\n jnz loo_0001\nerror: loo_0001\n"},
        {"out/a.asm:5: a.asm:99999999999999999999999\n", "out/a.asm:5: a.asm:99999999999999999999999\n"},
        {"out/a.asm:2: `nothere_0000' NOTHERE_0000 xnothere_0000 nothere_0000x nothere_000 nothere_00000 loop_0001\n",
         "a.asm:5: `@@nothere' @@nothere xnothere_0000 nothere_0000x nothere_000 nothere_00000 @@loop\n"},
        {"a.asm:2: loo_0001 lo_0001 loop_0002 y_0000 loop_0001_0001\n", "a.asm:2: loo_0001 lo_0001 loop_0002 y_0000 loop_0001_0001\n"},  // the source's path
        {"out/b.asm:2: y_0000 nothere_0000; out/a.asm:1:\n", "b.asm:2: @@y @@nothere; a.asm:3:\n"},
        {"out/a.asm [4]:\n jnz loo_0001\nerror: bad loo_0001.\nafter loo_0001\n", "a.asm [7]:\n jnz @@loo\nerror: bad @@loo.\nafter loo_0001\n"},
        {longest_mapped, longest_mapped.substr(0, 65536 - 13) + " a.asm:5\n"},
        {long_line, long_line},  // too long to be rewritten, and passed on whole, its end too
        {"out/a.asm:3 loop_0001", "a.asm:6 @@loop"}};  // no line end, and the buffer behind still holds x
    // clang-format on
    std::string in, out;
    for (const auto& line : lines) {
        in += line.in;
        out += line.out;
    }
    const RunResult result = filter({"a.asm", "out/a.asm", "b.asm", "out/b.asm"}, dir, in);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, 0);
}

TEST(Map, NamesThatTwoDestinationsEndInFindTheOneSharingMostComponents) {
    const Sources dir({{"a.asm", SOURCE}, {"lib.asm", "l:\n"}, {"s.asm", "s:\n"}, {"c.asm", "c:\n"}, {"d.asm", "d:\n"}});
    std::filesystem::create_directories(dir / "lib");
    std::filesystem::create_directories(dir / "my dir");
    std::filesystem::create_directories(dir / "c.out(1) d");
    std::filesystem::rename(dir / "out/d.asm", dir / "c.out(1) d/d.asm");
    std::filesystem::rename(dir / "out/lib.asm", dir / "lib/a.asm");
    std::filesystem::rename(dir / "out/s.asm", dir / "my dir/s.asm");
    std::filesystem::rename(dir / "out/c.asm", dir / "c.out");
    std::string absolute = (dir / "lib/a.asm").string();
    if (UNDER_WINE) {  // wine's drive Z: is the root of the file system
        std::replace(absolute.begin(), absolute.end(), '/', '\\');
        absolute.insert(0, "Z:");
    }
    std::string blank_absolute = (dir / "my dir/s.asm").string();  // longer than any other name
    if (UNDER_WINE) {
        std::replace(blank_absolute.begin(), blank_absolute.end(), '/', '\\');
        blank_absolute.insert(0, "Z:");
    }
    std::string misspelt = absolute;  // a separator less
    misspelt[misspelt.find_first_of("/\\")] = '_';
    // LIB\A.ASM and the misspelt path share more trailing components with
    // ./lib/a.asm than with out/a.asm; a bare a.asm is the source's path; a
    // path that begins inside a reference found before it is not spelt.
    const RunResult result = filter(
        {"a.asm", "out/a.asm", "lib.asm", "./lib/a.asm", "s.asm", "my dir/s.asm", "c.asm", "c.out", "d.asm",
         "c.out(1) d/d.asm"},
        dir,
        "out/a.asm:1: x\nLIB\\A.ASM:1: y\na.asm:1: z\n" + absolute + ":1: w\n" + misspelt +
            ":1: u\nin my dir/s.asm:1: v\nC.OUT(1) t\nc.out(1) d/d.asm:1: s\nin " + blank_absolute + ":1: r\n");
    EXPECT_EQ(result.out, "a.asm:3: x\nlib.asm:1: y\na.asm:1: z\nlib.asm:1: w\nlib.asm:1: u\nin s.asm:1: v\nc.asm(1) t\n"
                          "c.asm(1) d.asm:1: s\nin s.asm:1: r\n");
    EXPECT_EQ(result.exit_code, 0);
}

// JWasm names the macro lines of a message by a count from the macro's first
// line in the destination, which -a -e shortens; the definition is the last
// before the line the message names, in the file in brackets.
TEST(Map, MacroLinesCountFromTheDefinitionInTheSource) {
    TempDir dir;
    std::filesystem::create_directories(dir / "src");
    std::filesystem::create_directories(dir / "out");
    // Destination lines 1-12 come from source lines 2 5 6 7 9 10 11 12 13 14 15 16.
    write_file(dir / "src/m.asm",
               "; macros\nclr MACRO reg ; first\n  ; zero it\n\n  xor reg, reg\n  ENDM\nclr MACRO reg\n\n"
               "  sub reg, reg\n  ENDM\nstart:\n  clr ax\nvv_mul MACRO a\n  clr a\n  ENDM\n  vv_mul bx\n");
    write_file(dir / "src/o.asm", "o:\n");
    for (const char* name : {"m.asm", "o.asm"}) {
        std::vector<std::string> args = SWITCHES;
        args.insert(args.end(), {std::string("src/") + name, std::string("out/") + name});
        ASSERT_EQ(run_keston(args, dir.path()).exit_code, 0);
    }
    // clang-format off
    const struct {
        std::string in, out;
    } lines[] = {
        {"out/m.asm(8) : Error A2006: undefined symbol : ax\n", "src/m.asm(12) : Error A2006: undefined symbol : ax\n"},
        {" clr(1)[M.ASM]: Macro called from\n", " clr(2)[src/m.asm]: Macro called from\n"},  // the second definition
        {"  out/m.asm(8): Main line code\n", "  src/m.asm(12): Main line code\n"},
        {"out/m.asm(12) : Error A2006: x\n  CLR(1)[m.asm]: Macro Called From\r\n", "src/m.asm(16) : Error A2006: x\n  CLR(2)[src/m.asm]: Macro Called From\r\n"},
        {"   vv_mul(1)[M.ASM]: Macro called from\n", "   vv_mul(1)[src/m.asm]: Macro called from\n"},
        {"out/m.asm(3) : Error A2006: y\n clr(1)[M.ASM]: Macro called from\n", "src/m.asm(6) : Error A2006: y\n clr(3)[src/m.asm]: Macro called from\n"},
        {"out/o.asm(1) : Error A2006: z\n clr(1)[M.ASM]: Macro called from\n", "src/o.asm(1) : Error A2006: z\n clr(2)[src/m.asm]: Macro called from\n"},
        // Not defined in that file, past its end, an unpaired file, a loop, no file: as they are.
        {" nosuch(1)[M.ASM]: Macro called from\n", " nosuch(1)[M.ASM]: Macro called from\n"},
        {" clr(1)[O.ASM]: Macro called from\n", " clr(1)[O.ASM]: Macro called from\n"},
        {" vv_mul(4)[M.ASM]: Macro called from\n", " vv_mul(4)[M.ASM]: Macro called from\n"},
        {" clr(1)[X.ASM]: Macro called from\n", " clr(1)[X.ASM]: Macro called from\n"},
        {" MacroLoop(1)[M.ASM]: iteration 1: Macro called from\n", " MacroLoop(1)[M.ASM]: iteration 1: Macro called from\n"},
        {" clr(1): Macro Called From\n", " clr(1): Macro Called From\n"},
        {" clr(1)[M.ASM]: called\n", " clr(1)[M.ASM]: called\n"}};
    // clang-format on
    std::string in, out;
    for (const auto& line : lines) {
        in += line.in;
        out += line.out;
    }
    write_file(dir / "messages.txt", in);
    const RunResult result =
        run_map({"src/m.asm", "out/m.asm", "src/o.asm", "out/o.asm"}, dir.path(), {.input = dir / "messages.txt"});
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.exit_code, 0);
    // -g: a macro line points at the source line that its count leads to.
    write_file(dir / "messages.txt",
               "out/m.asm(12) : Error A2006: x\n  clr(1)[M.ASM]: Macro called from\r\n nosuch(1)[M.ASM]: Macro called from\n");
    const RunResult compilers = run_map({"-g", "src/m.asm", "out/m.asm"}, dir.path(), {.input = dir / "messages.txt"});
    EXPECT_EQ(compilers.out,
              "src/m.asm:16: error: A2006: x\nsrc/m.asm:9: note: clr(2): Macro called from\r\n"
              " nosuch(1)[M.ASM]: Macro called from\n");
}

// -g: every assembler's message as compilers print theirs; a destination's
// column goes with -t and -l, which move it.
TEST(Map, CompilersFormForEveryAssemblersMessages) {
    const Sources dir({{"a.asm", SOURCE}, {"s.asm", "s:\n"}});
    write_file(dir / "s.asm", "s:\nt:\n");  // edited since
    // clang-format off
    const struct {
        std::string in, out;
    } lines[] = {
        {"out/a.asm(2) : error A2006: undefined symbol : nothere_0000\r\n", "a.asm:5: error: A2006: undefined symbol : @@nothere\r\n"},
        {"OUT/A.ASM(2) : Error A2209: Syntax error: movv\n", "a.asm:5: error: A2209: Syntax error: movv\n"},
        {"out/a.asm(4) : Warning A4012: line number information\n", "a.asm:7: warning: A4012: line number information\n"},
        {"out/a.asm(1) : Fatal error A1000: cannot open file : x.inc\n", "a.asm:3: error: A1000: cannot open file : x.inc\n"},
        {"out/a.asm(3): fatal error A1010: unmatched block nesting\n", "a.asm:6: error: A1010: unmatched block nesting\n"},
        {"C:\\build\\out\\a.asm(2): Error! E032: 'nothere_0000' not defined\n", "a.asm:5: error: E032: '@@nothere' not defined\n"},
        {"out/a.asm(4): Warning! W400: x\n", "a.asm:7: warning: W400: x\n"},
        {"**Error** OUT\\A.ASM(2) Undefined symbol: NOTHERE_0000\n", "a.asm:5: error: Undefined symbol: @@nothere\n"},
        {"*Warning* OUT\\A.ASM(4) Argument needs type override\n", "a.asm:7: warning: Argument needs type override\n"},
        {"**Fatal** OUT\\A.ASM(3) Out of memory\n", "a.asm:6: error: Out of memory\n"},
        {"out/a.asm:2: error: symbol `nothere_0000' not defined\n", "a.asm:5: error: symbol `@@nothere' not defined\n"},
        {"out/a.asm:3: warning: label alone on a line [-w+label-orphan]\n", "a.asm:6: warning: label alone on a line [-w+label-orphan]\n"},
        {"out/a.asm:1: fatal: unable to open include file `x.inc'\n", "a.asm:3: error: unable to open include file `x.inc'\n"},
        {"out/a.asm:2: Error: junk at end of line\n", "a.asm:5: error: junk at end of line\n"},
        {"out/a.asm:2:9: error: unknown token in expression\n", "a.asm:5: error: unknown token in expression\n"},
        {"out/a.asm:3:1: note: while in macro instantiation\n", "a.asm:6: note: while in macro instantiation\n"},
        {"  out/a.asm(3): Main line code\n", "a.asm:6: note: Main line code\n"},
        {"out/a.asm(3) : errors: 2\n", "a.asm:6: note: errors: 2\n"},
        // fasm's message on the lines below its reference: the reference's line takes the error.
        {"out/a.asm [2]:\n\tjmp\tnothere_0000\nerror: undefined symbol 'nothere_0000'.\n",
         "a.asm:5: error: undefined symbol '@@nothere'.\n\tjmp\t@@nothere\nerror: undefined symbol '@@nothere'.\n"},
        {"out/a.asm [4]:\r\n\tm\r\nout/a.asm [3] m [1]:\r\n\tdec loop_0001\r\nprocessed: dec loop_0001\r\nerror: invalid operand.\r\n",
         "a.asm:7: error: invalid operand.\r\n\tm\r\na.asm:6: error: m [1]: invalid operand.\r\n\tdec @@loop\r\n"
         "processed: dec @@loop\r\nerror: invalid operand.\r\n"},
        // Files not mapped keep their names, lines and columns; other text and lines stay as they are.
        {"util.inc(3) : warning A4000: see out/a.asm(2)\n", "util.inc:3: warning: A4000: see a.asm(5)\n"},
        {"lib/x.asm:3:9: error: bad\n", "lib/x.asm:3:9: error: bad\n"},
        {"out/s.asm(1) : error A2006: s_0000\n", "out/s.asm:1: error: A2006: s_0000\n"},
        {"out/a.asm:0: error: nothere_0000\n", "out/a.asm:0: error: nothere_0000\n"},
        {"out/a.asm [9]:\n\tjmp\tnothere_0000\nerror: undefined symbol 'nothere_0000'.\n",
         "out/a.asm:9: error: undefined symbol 'nothere_0000'.\n\tjmp\tnothere_0000\nerror: undefined symbol 'nothere_0000'.\n"},
        // A reference further in: its place, and the whole line as the text.
        {"(out/a.asm:2) x\n", "a.asm:5: note: (a.asm:5) x\n"},
        {"In file included from out/a.asm:3:\n", "a.asm:6: note: In file included from a.asm:6:\n"},
        {"Error: loop_0001 in out/a.asm(3)\n", "a.asm:6: error: @@loop in a.asm(6)\n"},
        {"Assembling: out/a.asm\n", "Assembling: out/a.asm\n"},
        {"lib(x) : error A1: y\n", "lib(x) : error A1: y\n"},
        {"lib() : error: y lib(2)x: z lib:: e lib:x: e lib [x]:\n", "lib() : error: y lib(2)x: z lib:: e lib:x: e lib [x]:\n"},
        {"nothere_0000 alone\n", "nothere_0000 alone\n"},
        {"out/a.asm [2]:\n\tjmp\tnothere_0000\n", "a.asm:5: note: \n\tjmp\t@@nothere\n"}};  // the end came first
    // clang-format on
    std::string in, out;
    for (const auto& line : lines) {
        in += line.in;
        out += line.out;
    }
    const RunResult result = filter({"-g", "a.asm", "out/a.asm", "s.asm", "out/s.asm"}, dir, in);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.exit_code, 0);
    // Its own output it leaves as it is.
    EXPECT_EQ(filter({"-g", "a.asm", "out/a.asm", "s.asm", "out/s.asm"}, dir, out).out, out);
    const RunResult wrapper =
        run_map({"-g", "a.asm", "out/a.asm", "--", messages_program(), "3", "out/a.asm", "3", "loop_0001"}, dir.path());
    EXPECT_EQ(wrapper.out,
              "Assembling: out/a.asm\na.asm:6: error: A2006: undefined symbol : @@loop\r\n"
              "a.asm:6: error: Undefined symbol: @@loop\na.asm:6: error: E032: '@@loop' not defined\n"
              "a.asm:6: error: undefined symbol '@@loop'.\n\tjmp\t@@loop\nerror: undefined symbol '@@loop'.\n"
              "loop_0001 is mentioned here without a reference");
    EXPECT_EQ(wrapper.err, "a.asm:6: error: symbol `@@loop' not defined\na.asm:6: error: unknown token in expression: @@loop\n");
    EXPECT_EQ(wrapper.exit_code, 3);
    // Without -s, -t and -l the columns are the source's too.
    write_file(dir / "messages.txt", "out/b.asm:2:9: error: x\nout/b.asm [1]:\n x\n");
    write_file(dir / "b.asm", "; b\nb:\n  nop\n");
    ASSERT_EQ(run_keston({"-a", "-e", "b.asm", "out/b.asm"}, dir.path()).exit_code, 0);
    const RunResult plain = run_companion("keston-map", {"-G", "-a", "-e", "b.asm", "out/b.asm"}, dir.path(),
                                          {.input = dir / "messages.txt"});
    EXPECT_EQ(plain.out, "b.asm:3:9: error: x\nb.asm:2: note: \n x\n");
}

// A reference's path, resolved by its text against the current folder, is a
// destination's, or a source's and no reference, or else names the one
// destination whose path shares most of its trailing components. What comes
// out is mapped again to itself.
TEST(Map, PathsAreReadAsTheAssemblerPrintsThem) {
    const std::vector<std::string> folders = {"X", "LIB", "COMAN", "Y"};
    std::vector<std::pair<std::string, std::string>> sources = {{"a.asm", SOURCE}};
    for (std::size_t i = 0; i < folders.size(); ++i) {
        sources.emplace_back(folders[i] + ".asm", std::string(i, '\n') + "b:\n");
        for (int line = 0; line < 10; ++line) sources.back().second += " nop\n";
    }
    sources.emplace_back("s.asm", "s:\n");
    const Sources dir(sources);
    std::filesystem::create_directories(dir / "my src");
    std::filesystem::rename(dir / "s.asm", dir / "my src/s.asm");  // a source's path with a blank
    std::vector<std::string> args = {"a.asm", "out/a.asm", "my src/s.asm", "out/s.asm"};
    for (const std::string& folder : folders) {
        std::filesystem::create_directories(dir / "build" / folder);
        std::filesystem::rename(dir / "out" / (folder + ".asm"), dir / "build" / folder / "ASM.ASM");
        std::string absolute = (dir / "build" / folder / "ASM.ASM").string();
        if (UNDER_WINE) absolute.insert(0, "Z:");
        args.insert(args.end(), {folder + ".asm", absolute});
    }
    const struct {
        std::string in, out;
    } lines[] = {
        {"out/./x/../a.asm:2: e\n", "a.asm:5: e\n"},
        {"a.asm:3: loop_0001\n", "a.asm:3: loop_0001\n"},  // the source's
        {"./A.ASM(3) e\n", "./A.ASM(3) e\n"},
        {"C:\\BUILD\\OUT\\A.ASM(3) e\n", "a.asm(6) e\n"},
        {"COMAN/ASM.ASM(1) e\n", "COMAN.asm(3) e\n"},
        {"COMAN/ASM.ASM(10) e\n", "COMAN.asm(12) e\n"},
        {"../" + dir.path().filename().string() + "/a.asm:2: e\n", "../" + dir.path().filename().string() + "/a.asm:2: e\n"},
        {"out/s.asm:1: e\n", "my src/s.asm:1: e\n"},
        {"build\\lib\\asm.asm(1) e\n", "LIB.asm(2) e\n"},
        {"/elsewhere/build/Y/asm.asm:1: e\n", "Y.asm:4: e\n"},
        {"ASM.ASM(1) e\n", "ASM.ASM(1) e\n"},  // shared by four
        {"other/ASM.ASM(1) e\n", "other/ASM.ASM(1) e\n"},
        {"Y/b.asm:1: e\n", "Y/b.asm:1: e\n"},
    };
    std::string in, out;
    for (const auto& line : lines) {
        in += line.in;
        out += line.out;
    }
    const RunResult result = filter(args, dir, in);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(filter(args, dir, result.out).out, out);
}

// A destination that is not what keston makes of its source now stays as it
// is; the others are mapped, the lines before a line that stopped keston too.
TEST(Map, DestinationsThatAreNotKestonsOutputAreLeftAsTheyAre) {
    const Sources dir({{"a.asm", SOURCE}, {"stop.asm", "p:\n" + std::string(1100, 'x') + "\n"}, {"more.asm", SOURCE}});
    write_file(dir / "a.asm", SOURCE + " nop\n");  // edited since
    write_file(dir / "out/more.asm", read_file(dir / "out/more.asm") + "extra\r\n");  // written to since
    const RunResult result = filter({"a.asm", "out/a.asm", "stop.asm", "out/stop.asm", "gone.asm", "out/gone.asm",
                                     "stop.asm", "out/none.asm", "more.asm", "out/more.asm"},
                                    dir,
                                    "out/a.asm:1: x\nout/a.asm:2: y\nout/stop.asm:1: z\nout/gone.asm:1: w\n"
                                    "out/none.asm:1: v\nout/more.asm:2: nothere_0000\n");
    EXPECT_EQ(result.out,
              "out/a.asm:1: x\nout/a.asm:2: y\nstop.asm:1: z\nout/gone.asm:1: w\nout/none.asm:1: v\n"
              "out/more.asm:2: nothere_0000\n");
    EXPECT_EQ(
        result.err,
        "keston-map: out/a.asm: not keston's output of a.asm with these switches; its references are left as they are\n"
        "keston-map: gone.asm: cannot be read; the references to out/gone.asm are left as they are\n"
        "keston-map: out/none.asm: cannot be read; its references are left as they are\n"
        "keston-map: out/more.asm: not keston's output of more.asm with these switches; its references are left as "
        "they are\n");
    EXPECT_EQ(result.exit_code, 2);
}

TEST(Map, CommandLineAndCommandFailures) {
    const Sources dir({{"a.asm", SOURCE}});
    const std::string usage = run_companion("keston-map", {"-?"}, dir.path()).out;
    ASSERT_EQ(usage,
              "Usage: keston-map [{/|-}<switch> [...]] <src_name> <dst_name> [<src_name> <dst_name> ...]\n"
              "                  [-- <command> [<argument> ...]]\n"
              "Rewrites the assembler's messages about each destination that keston made\n"
              "of its source into messages about the source: its name, its line and its\n"
              "label names. Without a command it reads the messages on standard input;\n"
              "with one it runs the command and rewrites its standard output and error.\n"
              "Switches: those given to keston (-lxx -t[n] -s[n] -a -c -e -f -q -#), and\n"
              "   -b      - build mode: first make each destination and the includes its\n"
              "             source names, writing only what changed; a name ending in /\n"
              "             pairs two folders\n"
              "   -d      - with -b, also write a Make dependency file <destination>.d\n"
              "   -g      - print each message that names a file and line as compilers\n"
              "             do: file:line[:column]: error|warning|note: text\n"
              "   -?      - display this help message\n"
              "Exit status: the command's (127 when it is not found, 126 when it cannot\n"
              "run); without a command 0, or 2 after a bad command line, a file that\n"
              "could not be read or, with -b, a destination that could not be made.\n");
    // clang-format off
    const struct {
        std::vector<std::string> args;
        std::string err;
        int exit_code;
    } cases[] = {
        {{}, usage, 2}, {{"a.asm"}, usage, 2}, {{"a.asm", "out/a.asm", "--"}, usage, 2}, {{"--", "nasm"}, usage, 2},
        {{"-x", "a.asm", "out/a.asm"}, fatal("Unknown switch specified: -x"), 2},
        {{"-?", "a.asm", "out/a.asm"}, fatal("Incompatible switch combination specified"), 2},
        {{"-l@", "a.asm", "out/a.asm"}, fatal("Invalid Local label prefix specified"), 2},
        {{"a.asm", "out/a.asm", "--", "no-such-program-here"}, "keston-map: no-such-program-here: command not found\n", 127},
        {{"a.asm", "out/a.asm", "--", messages_program(), "1", "b", "1", "x \"y\" \\z\\"},  // quoted on Windows
         "b:1: error: symbol `x \"y\" \\z\\' not defined\nb:1:9: error: unknown token in expression: x \"y\" \\z\\\n", 1},
        {{"a.asm", "out/a.asm", "--", messages_program(), "1", "--", "1", "x"},  // the first "--" ends the names
         "--:1: error: symbol `x' not defined\n--:1:9: error: unknown token in expression: x\n", 1}};
    // clang-format on
    for (const auto& c : cases) {
        const RunResult result = run_companion("keston-map", c.args, dir.path());
        EXPECT_EQ(result.err, c.err) << testing::PrintToString(c.args);
        EXPECT_EQ(result.exit_code, c.exit_code) << testing::PrintToString(c.args);
    }
}

// Each map is built with the pair's two files open, and only then.
TEST(Posix, MapClosesTheFilesOfEachPair) {
    const Sources dir({{"a.asm", SOURCE}});
    std::vector<std::string> args;
    std::string messages, expected;
    for (int i = 0; i < 12; ++i) {  // more pairs than free descriptors
        const std::string copy = "out/" + std::to_string(i) + ".asm";
        std::filesystem::copy_file(dir / "out/a.asm", dir / copy);
        args.insert(args.end(), {"a.asm", copy});
        messages += copy + ":1: x\n";
        expected += "a.asm:3: x\n";
    }
    write_file(dir / "messages.txt", messages);
    const auto few_descriptors = [] {
        const rlimit limit{10, 10};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    };
    const RunResult result = run_map(args, dir.path(), {.input = dir / "messages.txt", .in_child = few_descriptors});
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(result.exit_code, 0);
}

// keston-map with the command run by sh -c script, in a process group of its own.
Child start_map_with_script(const Sources& dir, const std::string& script, const std::string& argument = "sh") {
    std::vector<std::string> command = companion_command("keston-map");
    command.insert(command.end(), SWITCHES.begin(), SWITCHES.end());
    command.insert(command.end(), {"a.asm", "out/a.asm", "--", "sh", "-c", script, argument});
    return start_program(command, dir.path(), {.in_child = [] { ::setpgid(0, 0); }});
}

// The first line on fd, up to its line end.
std::string first_line(int fd) {
    std::string seen;
    for (char c; seen.find('\n') == std::string::npos && ::read(fd, &c, 1) == 1;) seen += c;
    return seen;
}

// A signal sent to keston-map alone reaches the command, which takes it here
// and then ends by it; keston-map passes on what the command wrote and ends
// by that signal too.
TEST(Posix, MapPassesSignalsOnAndEndsByTheCommandsSignal) {
    const Sources dir({{"a.asm", SOURCE}});
    EXPECT_EQ(run_map({"a.asm", "out/a.asm", "--", "false"}, dir.path()).exit_code, 1);
    const std::string script =
        "trap 'kill $!; echo out/a.asm:1: got $0 >&2; trap - $0; kill -$0 $$' $0; "
        "sleep 9 >/dev/null 2>&1 & echo out/a.asm:1: ready; wait";
    const struct {
        std::string name;
        int signal_number;
    } signals[] = {{"HUP", SIGHUP},   {"INT", SIGINT},   {"QUIT", SIGQUIT}, {"TERM", SIGTERM},
                   {"USR1", SIGUSR1}, {"USR2", SIGUSR2}, {"ALRM", SIGALRM}};
    for (const auto& [name, signal_number] : signals) {
        const Child child = start_map_with_script(dir, script, name);
        EXPECT_EQ(first_line(child.stdout_fd), "a.asm:3: ready\n");
        ::kill(child.pid, signal_number);
        const RunResult result = finish(child);
        EXPECT_EQ(result.err, "a.asm:3: got " + name + "\n");
        EXPECT_EQ(result.signal, signal_number) << name;
        ::kill(-child.pid, SIGKILL);
    }
}

// The terminal's interrupt goes to its whole foreground process group and is
// not passed on: a command in a session of its own (setsid) gets none of it.
// The signals sent to keston-map alone reach it, one after the other.
char g_terminal[64];

TEST(Posix, MapLeavesTheTerminalsInterruptToTheGroup) {
    const Sources dir({{"a.asm", SOURCE}});
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (terminal < 0) GTEST_SKIP() << "no pseudo-terminal here";
    ASSERT_TRUE(::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    std::snprintf(g_terminal, sizeof g_terminal, "%s", ::ptsname(terminal));
    std::vector<std::string> command = companion_command("keston-map");
    command.insert(command.end(), SWITCHES.begin(), SWITCHES.end());
    command.insert(command.end(), {"a.asm", "out/a.asm", "--", "setsid", "sh", "-c",
                                   "for s in INT USR1; do trap \"echo out/a.asm:1: got $s >&2\" $s; done; "
                                   "trap 'kill $!; echo out/a.asm:1: got TERM >&2; exit 6' TERM; "
                                   "sleep 9 >/dev/null 2>&1 & echo out/a.asm:1: ready; while kill -0 $! 2>/dev/null; do wait; done"});
    // keston-map leads a session whose terminal this is, in its foreground group.
    const Child child = start_program(command, dir.path(), {.in_child = [] {
                                          ::setsid();
                                          ::close(::open(g_terminal, O_RDWR));
                                      }});
    EXPECT_EQ(first_line(child.stdout_fd), "a.asm:3: ready\n");
    ASSERT_EQ(::write(terminal, "\x03", 1), 1);
    // The terminal echoes ^C once it has sent the signal.
    std::string echo;
    for (char c; echo.find("^C") == std::string::npos && ::read(terminal, &c, 1) == 1;) echo += c;
    ::kill(child.pid, SIGUSR1);
    EXPECT_EQ(first_line(child.stderr_fd), "a.asm:3: got USR1\n");
    ::kill(child.pid, SIGTERM);
    const RunResult result = finish(child);
    EXPECT_EQ(result.err, "a.asm:3: got TERM\n");
    EXPECT_EQ(result.exit_code, 6);
    ::close(terminal);
}

// Once the command has ended, a signal ends keston-map at once, though a
// child of the command still holds standard error: it writes there when
// keston-map has reaped the command (or after 3 seconds, when it has not).
TEST(Posix, MapEndsAtASignalAfterTheCommandHasEnded) {
    const Sources dir({{"a.asm", SOURCE}});
    const Child child = start_map_with_script(
        dir, "sh -c 'exec >&-; for i in $(seq 300); do kill -0 $1 2>/dev/null && sleep 0.01; done; "
             "echo out/a.asm:1: ready >&2; exec sleep 9' sh $$ & exit 3");
    EXPECT_EQ(first_line(child.stderr_fd), "a.asm:3: ready\n");
    ::kill(child.pid, SIGTERM);
    EXPECT_EQ(finish(child).signal, SIGTERM);
    ::kill(-child.pid, SIGKILL);
}

// When the reader of standard output goes away, the command meets the closed
// pipe (yes ends by SIGPIPE) and its errors still come through, all of them.
TEST(Posix, MapPassesTheErrorsOnAfterItsReaderHasGone) {
    const Sources dir({{"a.asm", SOURCE}});
    const Child child = start_map_with_script(
        dir, "echo out/a.asm:1: first; yes; echo out/a.asm:2: after >&2; head -c 100000 /dev/zero | tr '\\0' e >&2; exit 4");
    EXPECT_EQ(first_line(child.stdout_fd), "a.asm:3: first\n");
    ::close(child.stdout_fd);
    const RunResult result = finish({child.pid, ::open("/dev/null", O_RDONLY), child.stderr_fd});
    EXPECT_EQ(result.err.substr(0, 15), "a.asm:5: after\n");
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), 'e'), 100000 + 1);
    EXPECT_EQ(result.exit_code, 4);
}

// Statuses as a shell gives them: 127 for a command not found, 126 for one
// that cannot be run; a file without #! is a script of sh, as execvp runs it.
// A failed write of standard output is keston-map's failure: 2.
TEST(Posix, MapGivesTheShellsStatusesForCommandsThatDoNotRun) {
    const Sources dir({{"a.asm", SOURCE}});
    std::filesystem::create_directories(dir / "folder");
    write_file(dir / "plain", "echo out/a.asm:1: ran; exit 5\n");
    write_file(dir / "script", "echo out/a.asm:1: ran; exit 5\n");
    write_file(dir / "orphan", "#!/no/such/interpreter\n");
    for (const char* name : {"script", "orphan"}) {
        std::filesystem::permissions(dir / name, std::filesystem::perms::owner_exec, std::filesystem::perm_options::add);
    }
    const std::string map = companion_command("keston-map").back();
    const struct {
        std::string command;
        std::string out, err;
        int exit_code;
    } cases[] = {
        {"no-such-program-here", "", "keston-map: no-such-program-here: command not found\n", 127},
        {"./no-such-program-here", "", "keston-map: ./no-such-program-here: command not found\n", 127},
        {"folder", "", "keston-map: folder: command not found\n", 127},  // a program on PATH is a file
        {"./folder", "", "keston-map: ./folder: cannot be run: Is a directory\n", 126},
        {"./plain", "", "keston-map: ./plain: cannot be run: Permission denied\n", 126},
        {"./orphan", "", "keston-map: ./orphan: cannot be run: interpreter not found\n", 126},
        {"orphan", "", "keston-map: orphan: cannot be run: interpreter not found\n", 126},
        {"script", "a.asm:3: ran\n", "", 5},
        {"script > /dev/full", "", "keston-map: standard output: write error\n", 2}};
    for (const auto& c : cases) {
        const std::string line = "PATH=/no/such/folder:. exec " + map + " -a -e -t4 -l@@ a.asm out/a.asm -- " + c.command;
        const RunResult result = finish(start_program({"sh", "-c", line}, dir.path()));
        EXPECT_EQ(result.out, c.out) << c.command;
        EXPECT_EQ(result.err, c.err) << c.command;
        EXPECT_EQ(result.exit_code, c.exit_code) << c.command;
    }
}

// The write signals reach the command as keston-map got them.
TEST(Posix, MapGivesTheCommandTheWriteSignalsItGot) {
    const Sources dir({{"a.asm", SOURCE}});
    const struct {
        void (*in_child)();
        bool ignored;
    } starts[] = {{[] { ::signal(SIGPIPE, SIG_DFL), ::signal(SIGXFSZ, SIG_DFL); }, false},
                  {[] { ::signal(SIGPIPE, SIG_IGN), ::signal(SIGXFSZ, SIG_IGN); }, true}};
    for (const auto& start : starts) {
        const RunResult result = run_map({"a.asm", "out/a.asm", "--", "grep", "SigIgn", "/proc/self/status"}, dir.path(),
                                         {.in_child = start.in_child});
        const std::uint64_t ignored = std::stoull(result.out.substr(result.out.find('\t')), nullptr, 16);
        const std::uint64_t write_signals = (1ULL << (SIGPIPE - 1)) | (1ULL << (SIGXFSZ - 1));
        EXPECT_EQ(ignored & write_signals, start.ignored ? write_signals : 0) << result.out;
    }
}

}  // namespace
}  // namespace keston::test
