// keston-check through the built binary: the hazard report on standard
// output, the messages on standard error and the exit status.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "support/harness.h"
#include "support/joined_output.h"

namespace keston::test {
namespace {

// One report line on in.asm.
std::string warn(const std::string& place, const std::string& text, const std::string& hazard) {
    return "in.asm:" + place + ": warning: " + text + " [" + hazard + "]\n";
}

std::string note(const std::string& place, const std::string& text, const std::string& hazard) {
    return "in.asm:" + place + ": note: " + text + " [" + hazard + "]\n";
}

// clang-format off
// count scopes s0: ... each defining @@x, which give the labels behind them numbers from count on
std::string scopes_defining_x(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text.append("s").append(std::to_string(i)).append(":\n@@x: nop\n");
    return text;
}

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
        warn("1:6", "-l@@ leaves @@1 undefined here: the scope from line 1 does not define it; it is defined at line 4, "
             "in the scope from line 2", "undefined-name") +
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
        {"p:\n db '@@l\t' ; @@x\n", {"-s", "-t", "-l@@", "in.asm"},
         warn("2:5", "-s, -t and -l@@ change the quoted string '@@l\t'", "quoted-text"), 1},
        {" db 8/2,'a;b','c'\n db \"a;b//c\"\n db 'x//y;z'\n", {"-a", "-c", "in.asm"},
         warn("1:11", "-a cuts the quoted string 'a;b'", "quoted-text") +
         warn("2:9", "-c cuts the quoted string \"a;b//c\"", "quoted-text") +
         warn("3:7", "-a and -c cut the quoted string 'x//y;z'", "quoted-text"), 1},
        {"ok equ <a>\ndbg equ <;!>>\n", {"/a", "in.asm"}, warn("2:10", "-a cuts the text literal <;!>>", "text-literal"), 1},
        {"p:\n db \"a//b\",@@1,'c'\n@@~2:\n@@a!b:\n", {"-c", "-l@@", "in.asm"},  // -c drops @@1 before -l numbers it
         warn("2:7", "-c cuts the quoted string \"a//b\"", "quoted-text") +
         warn("3:1", "-l@@ makes @@~2 the invalid name ~2_0000", "invalid-name") +
         warn("4:1", "-l@@ makes @@a!b the invalid name a!b_0001", "invalid-name"), 1},
        {"x'a  b'\n", {"-t4", "in.asm"}, warn("1:2", "-t changes the quoted string 'a  b'", "quoted-text"), 1},
        {"x'a       b\n", {"-s", "-t", "in.asm"},  // an open string that ends in no blank keeps its end under -s
         warn("1:2", "-t changes the quoted string 'a       b", "quoted-text"), 1},
        {"p:\n jmp ..a..b\n", {"-l..", "in.asm"},  // the delimiter behind a name begins the next pair
         warn("2:6", "-l.. leaves ..a undefined here: the scope from line 1 does not define it", "undefined-name") +
         warn("2:9", "-l.. leaves ..b undefined here: the scope from line 1 does not define it", "undefined-name"), 1},
        {" jmp @@1\np:\n@@a: jmp @@1\n@@1: db 1,\n\n", {"-e", "-l@@", "in.asm", "in.asm"},
         each_file + each_file, 1},
        {"p:\n@_Zona: jmp @_zonA\n", {"-l@_", "in.asm"},
         warn("2:13", "-l@_ numbers @_zonA apart from @_Zona (line 2); the names differ only in case", "case-twin") +
         warn("2:13", "-l@_ leaves @_zonA undefined here: the scope from line 1 does not define it", "undefined-name"), 1},
        {"p proc c @@x:dword, \\\n @@y:word, @@w:word\n local @@a:dword,\n @@b:dword, @@c:dword \\ ; c\n @@d:word\n"
         " dw @@w,@@c,\n dw @@d,@@q\n local @@g,\n\n mov @@h,1\n localize @@s\nq\tproc near uses ax bx, @@e:word, @@f:word\n"
         " mov @@e,@@f\nPROC r @@z\n arg\t@@i,\n@@j, @@k\n mov @@z,@@k\n", {"-l@@", "in.asm"},  // lists and parameters
         warn("7:9", "-l@@ leaves @@q undefined here: the scope from line 1 does not define it", "undefined-name") +
         warn("10:6", "-l@@ leaves @@h undefined here: the scope from line 1 does not define it", "undefined-name") +
         warn("11:11", "-l@@ leaves @@s undefined here: the scope from line 1 does not define it", "undefined-name"), 1},
        {"p:\n local a,\n x:word, @@b:word\n local c ; d,\n x:word, @@e:word\n local f // g,\n x:word, @@h:word\n"
         " local i/2,\n x:word, @@k:word\n", {"-c", "-l@@", "in.asm"},  // lists of lines without a name or literal
         warn("5:10", "-l@@ leaves @@e undefined here: the scope from line 1 does not define it", "undefined-name") +
         warn("7:10", "-l@@ leaves @@h undefined here: the scope from line 1 does not define it", "undefined-name"), 1},
        {"p:\n db 'x@'b\n", {"-a", "-l@'", "in.asm"},  // the prefix ends in the quote that closes the string
         warn("2:5", "-l@' changes the quoted string 'x@'", "quoted-text"), 1},
        {"p:\n x < 'a' @@a!>\n@@a!: ret\n", {"-l@@", "in.asm"},  // renamed, @@a! lets the '<' find a '>'
         warn("2:6", "-l@@ cuts the quoted string 'a'", "quoted-text") +
         warn("2:10", "-l@@ makes @@a! the invalid name a!_0000", "invalid-name"), 1},
        {"foo:\n db <@@x>\n", {"in.asm", "-l@@"},  // the source named before the switch
         warn("2:6", "-l@@ leaves @@x undefined here: the scope from line 1 does not define it", "undefined-name"), 1},
        {cut_lines, {"-a", "in.asm"}, cut_reports, 1},
        {"p:\n jmp @@x\n@@xy: jmp @@x\n@@xy: nop\nq:\n jmp @@xy\n jmp @@x\n@@a$?@_: jmp @@a$?@_-1\n jmp @@b$?@_-1\n"
         " jmp @@XY\n",
         {"-l@@", "in.asm"},
         warn("2:6", "-l@@ leaves @@x undefined here: the scope from line 1 does not define it", "undefined-name") +
         warn("6:6", "-l@@ leaves @@xy undefined here: it is defined in the previous scope, at line 3", "scope-split") +
         warn("7:6", "-l@@ leaves @@x undefined here: the scope from line 5 does not define it", "undefined-name") +
         warn("9:6", "-l@@ leaves @@b$?@_ undefined here: the scope from line 5 does not define it", "undefined-name") +
         warn("10:6", "-l@@ numbers @@XY apart from @@xy (line 6); the names differ only in case", "case-twin") +
         warn("10:6", "-l@@ leaves @@XY undefined here: the scope from line 5 does not define it", "undefined-name"), 1},
        {"t db 1,\n\nu db 2, ; more\n\n\nv db 3\n,\n\nw db 4,\n\n ; no code joins\n", {"-e", "in.asm"},
         warn("2:1", "-e drops this empty line, which ends the list that line 1 continues with a comma", "dropped-line") +
         warn("4:1", "-e drops this empty line, which ends the list that line 3 continues with a comma", "dropped-line") +
         warn("8:1", "-e drops this empty line, which ends the list that line 7 continues with a comma", "dropped-line"), 1},
        {"p:\n mov ax,1 ; it's fine\n db \"a       b\",'a\tb'\n cmp al,';'\n @@a_1: jmp @@a_1 // don't\n local @@v:word\n"
         " arg @@w\n\n mov ax,@@v\n mov bx,@@w\n db 1, ; it's\n db 2\n\nn equ <a  b  c  d e>\n",
         {"-a", "-c", "-s", "-t", "-l@@", "-e", "in.asm"}, "", 0},
        {"p:\n db 1,\n\n jmp @@x\n db 'a;b'\n", {"-s", "in.asm"}, "", 0},
        // Lines without literals: a line of blanks is empty to -e, and tab conversion stops keston at
        // 1024 columns (127 TABs and a character fill 1017 of them, 128 TABs all).
        {"t db 1,\t\n \t \n\tdb 2\n" + std::string(127, '\t') + "x\n" + std::string(128, '\t') + "\n\tdb 'a;b'\n",
         {"-e", "-t", "in.asm"},
         warn("2:1", "-e drops this empty line, which ends the list that line 1 continues with a comma", "dropped-line"), 2,
         fatal("Line 5 is too long after tab conversion") + "in.asm:5: error: keston stops at this line; the rest is not checked\n"},
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
        {"p:\n jmp @@" + std::string(33, 'x') + "\n", {"-l@@", "-t", "in.asm"}, "", 2,  // a line without literals
         fatal("Local label name is too long in line 2") + "in.asm:2: error: keston stops at this line; the rest is not checked\n"},
        {crowded_scope, {"-l@@", "in.asm"}, "", 2, "in.asm:4098: error: too many local label names in one scope to check them all\n"},
        {"", {"-?"}, usage, 0},
        {"", {}, "", 2, usage},  // without a source, on standard error
        {" db 'a;b'\n", {"-a", "-x", "in.asm"}, "", 2, usage},  // -x needs -l
        {" db 'a;b'\n", {"-l@@", "/x", "-X", "in.asm"}, "", 2, fatal("Multiple switch specification")},
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

// keston's output outside quoted strings, as names and single other bytes.
std::vector<std::string> tokens(const std::string& text) {
    constexpr char NAME_BYTES[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_@$?~";
    std::vector<std::string> found;
    for (std::size_t at = 0, end; at < text.size(); at = end) {
        end = std::max(at + 1, std::min(text.find_first_not_of(NAME_BYTES, at), text.size()));
        if (text[at] == '\'' || text[at] == '"')
            end = std::min(text.find_first_of(std::string{text[at], '\n'}, at + 1), text.size() - 1) + 1;
        found.push_back(text.substr(at, end - at));
    }
    return found;
}

// The outputs hold the same tokens, outside quoted strings, but for names
// that map one to one.
bool differ_only_in_names(const std::string& before, const std::string& after) {
    const std::vector<std::string> a = tokens(before), b = tokens(after);
    std::map<std::string, std::string> forth, back;
    for (std::size_t i = 0; i < a.size() && a.size() == b.size(); ++i) {
        const bool quoted = a[i][0] == '\'' || a[i][0] == '"';
        if (!quoted &&
            (forth.try_emplace(a[i], b[i]).first->second != b[i] || back.try_emplace(b[i], a[i]).first->second != a[i]))
            return false;
    }
    return a.size() == b.size();
}

ino_t inode(const std::filesystem::path& file) {
    struct stat status {};
    ::stat(file.c_str(), &status);
    return status.st_ino;
}

// -x rewrites what it can, notes each change at its place in the result,
// then checks the result as without it; and keston's output of the result
// differs from that of the source only in names, one to one.
TEST(Check, FixRenamesAndRespellsNamesInThePlaceOfTheSource) {
    const std::string x30(30, 'x'), y31(31, 'y');
    std::string full_list = "p:\n jmp @@abc\n@@ABCD: nop\n@@ABC: nop\n@@ab: nop\n";
    for (int i = 0; i < 1023; ++i)
        full_list += "@@f" + std::to_string(1000000000 + i) + std::string(21, 'f') + ": nop\n";
    full_list += "@@g" + std::string(19, 'g') + ": nop\n";
    // 10,000 scopes before it give the last lines' labels five digits, which keston's line limit counts
    const std::string long_source = "p:\n" + scopes_defining_x(10000) + "q:\n\t" + std::string(1007, 'x') + " @@1\n";
    // @@1 and @@2 with a letter each leave no room in keston's list for the last name of the scope
    std::string letters_overflow = "p:\n@@1: nop\n@@2: nop\n";
    for (int i = 0; i < 1023; ++i)
        letters_overflow += "@@f" + std::to_string(1000000000 + i) + std::string(21, 'f') + ": nop\n";
    letters_overflow += "@@" + std::string(26, 'g') + ": nop\n";
    std::string every_letter = "p: ;";
    for (char letter = 'a'; letter <= 'z'; ++letter) every_letter += std::string(" @@") + letter;
    // clang-format off
    const struct {
        std::string source;  // of in.asm
        std::vector<std::string> args;
        std::string fixed;  // in.asm afterwards
        std::string out;
        int exit_code;
        std::string err = "";
        std::string other = "";  // of other.asm
        bool renames_only = true;
    } cases[] = {
        {"p:\n@@1: jmp @@10 ; back to @@1\n db '@@1',0\n@@10: mov ax,<@@1a>\n@@1a: ret\n", {"-x", "-l@@", "in.asm"},
         "p:\n@@n1: jmp @@n10 ; back to @@n1\n db '@@1',0\n@@n10: mov ax,<@@n1a>\n@@n1a: ret\n",
         note("2:1", "renamed @@1 to @@n1", "invalid-name") + note("2:11", "renamed @@10 to @@n10", "invalid-name") +
         warn("3:5", "-l@@ changes the quoted string '@@1'", "quoted-text") +
         note("4:16", "renamed @@1a to @@n1a", "invalid-name"), 1},
        // a name right behind a quoted string is outside it, and CR bytes behind the last LF are no line
        {"p:\n@@1: nop\n db 'x'@@1\n\r", {"-x", "-l@@", "in.asm"}, "p:\n@@n1: nop\n db 'x'@@n1\n\r",
         note("2:1", "renamed @@1 to @@n1", "invalid-name"), 0},
        // a word that keston would make of a name with '_' in it, and a word of two characters, take their letters
        {"p:\n@@1_a: jmp @@1\n@@1: ret ; n1_a_0000 o1\n", {"-x", "-l@@", "in.asm"},
         "p:\n@@p1_a: jmp @@p1\n@@p1: ret ; n1_a_0000 o1\n",
         note("2:1", "renamed @@1_a to @@p1_a", "invalid-name") + note("2:13", "renamed @@1 to @@p1", "invalid-name"), 0},
        {"p:\n@@1: ret ; O1_0007 P1_\n", {"-x", "-l@@", "in.asm", "other.asm"}, "p:\n@@p1: ret ; O1_0007 P1_\n",
         note("2:1", "renamed @@1 to @@p1", "invalid-name"), 0, "",
         "q:\n@@Next: ret\n"},
        {"p:\n@@1" + x30 + ": ret\n@@2" + y31 + ": ret\n jmp @@2\n", {"-x", "-l@@", "in.asm"},
         "p:\n@@n1" + x30 + ": ret\n@@2" + y31 + ": ret\n jmp @@2\n",
         note("2:1", "renamed @@1" + x30 + " to @@n1" + x30, "invalid-name") +
         note("3:1", "@@2" + y31 + " is not renamed: a letter more would make it longer than 32 characters", "invalid-name") +
         warn("3:1", "-l@@ makes @@2" + y31 + " the invalid name 2" + y31 + "_0001", "invalid-name") +
         note("4:6", "@@2 is not renamed, as @@2" + y31 + " is not and one of them begins the other", "invalid-name") +
         warn("4:6", "-l@@ makes @@2 the invalid name 2_0001", "invalid-name") +
         warn("4:6", "-l@@ leaves @@2 undefined here: the scope from line 1 does not define it", "undefined-name"), 1},
        {"p:\n\t" + std::string(1008, 'x') + " @@1\n@@1: jmp @@2\n@@2: ret\n", {"-s", "-x", "-l@@", "in.asm"},
         "p:\n\t" + std::string(1008, 'x') + " @@1\n@@1: jmp @@n2\n@@n2: ret\n",
         note("2:1011", "@@1 is not renamed: with a letter more keston would stop at line 2", "invalid-name") +
         warn("2:1011", "-l@@ makes @@1 the invalid name 1_0000", "invalid-name") +
         note("3:10", "renamed @@2 to @@n2", "invalid-name"), 1},
        {long_source + "@@1: jmp @@2\n@@2: ret\n", {"-s", "-x", "-l@@", "in.asm"},
         long_source + "@@1: jmp @@n2\n@@n2: ret\n",
         note("20003:1010", "@@1 is not renamed: with a letter more keston would stop at line 20003", "invalid-name") +
         warn("20003:1010", "-l@@ makes @@1 the invalid name 1_10000", "invalid-name") +
         note("20004:10", "renamed @@2 to @@n2", "invalid-name"), 1},
        {letters_overflow + "q:\n@@3: nop\n", {"-x", "-l@@", "in.asm"}, letters_overflow + "q:\n@@n3: nop\n",
         note("2:1", "@@1 is not renamed: with a letter more keston would stop at line 1027", "invalid-name") +
         warn("2:1", "-l@@ makes @@1 the invalid name 1_0000", "invalid-name") +
         note("3:1", "@@2 is not renamed: with a letter more keston would stop at line 1027", "invalid-name") +
         warn("3:1", "-l@@ makes @@2 the invalid name 2_0001", "invalid-name") +
         note("1029:1", "renamed @@3 to @@n3", "invalid-name"), 1},
        {"@@Loop: jmp @@loop\nq:\n jmp @@Done\n jmp @@done\nr:\n@@x: nop\n@@X: nop\n", {"-x", "-l@@", "in.asm"},
         "@@Loop: jmp @@Loop\nq:\n jmp @@Done\n jmp @@Done\nr:\n@@x: nop\n@@X: nop\n",
         note("1:13", "spelled @@loop as @@Loop in the scope from line 1", "case-twin") +
         warn("3:6", "-l@@ leaves @@Done undefined here: the scope from line 2 does not define it", "undefined-name") +
         note("4:6", "spelled @@done as @@Done in the scope from line 2", "case-twin") +
         note("6:1", "@@x and @@X are both defined in the scope from line 5; neither is respelled", "case-twin") +
         warn("7:1", "-l@@ numbers @@X apart from @@x (line 6); the names differ only in case", "case-twin"), 1, "", "",
         false},
        // @@abc spelt as @@ABC no longer begins with @@ab, which takes room of its own, and keston's list overflows
        {full_list, {"-x", "-l@@", "in.asm"}, full_list,
         warn("2:6", "-l@@ leaves @@abc undefined here: the scope from line 1 does not define it", "undefined-name") +
         warn("4:1", "-l@@ numbers @@ABC apart from @@abc (line 2); the names differ only in case", "case-twin"), 2,
         "in.asm:0: error: not rewritten: keston would stop at line 1029\n"},
        {std::string("p:\r\n..1: jmp ..1\r\n db 0\0 ..1\n", 26), {"-x", "-l..", "in.asm"},
         std::string("p:\r\n..n1: jmp ..n1\r\n db 0\0 ..1\n", 28), note("2:1", "renamed ..1 to ..n1", "invalid-name"), 0},
        {every_letter + "\n@@1: ret\n", {"-x", "-l@@", "in.asm"}, every_letter + "\n@@1: ret\n",
         note("2:1", "@@1 is not renamed: every letter begins a local name or would make a name that a word of the "
              "sources is", "invalid-name") + warn("2:1", "-l@@ makes @@1 the invalid name 1_0026", "invalid-name"), 1},
        {"p:\n @@" + std::string(33, 'x') + "\n", {"-x", "-l@@", "in.asm"}, "p:\n @@" + std::string(33, 'x') + "\n", "", 2,
         "in.asm:0: error: not rewritten: keston stops at line 2\n" + fatal("Local label name is too long in line 2") +
         "in.asm:2: error: keston stops at this line; the rest is not checked\n"},
    };
    // clang-format on
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "in.asm", c.source);
        write_file(dir / "other.asm", c.other);
        const ino_t before = inode(dir / "in.asm");
        const RunResult result = run_check(c.args, dir.path());
        EXPECT_EQ(result.out, c.out) << c.source;
        EXPECT_EQ(result.err, c.err) << c.source;
        EXPECT_EQ(result.exit_code, c.exit_code) << c.source;
        EXPECT_EQ(read_file(dir / "in.asm"), c.fixed) << c.source;
        EXPECT_EQ(read_file(dir / "other.asm"), c.other) << c.source;
        EXPECT_EQ(inode(dir / "in.asm") == before, c.fixed == c.source) << c.source;  // unchanged, unwritten
        if (c.fixed == c.source || !c.renames_only) continue;
        std::vector<std::string> args;
        std::copy_if(c.args.begin(), c.args.end(), std::back_inserter(args),
                     [](auto& a) { return a[0] == '-' && a != "-x"; });
        args.insert(args.end(), {"in.asm", "out.asm"});
        const auto keston_output = [&](const std::string& source) {
            write_file(dir / "in.asm", source);
            EXPECT_EQ(run_keston(args, dir.path()).out, "") << source;
            return read_file(dir / "out.asm");
        };
        EXPECT_TRUE(differ_only_in_names(keston_output(c.source), keston_output(c.fixed))) << c.source;
    }
}

// -x indents a plain label in column 0 that splits a local name's use from
// its definition inside one procedure; anything else between them, another
// procedure, a name defined twice in the joined scope or any other change
// to keston's output leaves the source as it is, with a note on why.
TEST(Check, FixJoinsScopesThatLabelsSplitInsideAProcedure) {
    const std::string proc_a = "p proc\n@@a: nop\n";  // @@a defined in the scope of the procedure's first line
    // a procedure that is joined, behind a source that stays as it is
    const std::string tail = "w proc\n@@w: nop\nlw:\n jmp @@w\nw endp\n";
    const std::string fixed_tail = "w proc\n@@w: nop\n\tlw:\n jmp @@w\nw endp\n";
    const std::string long_name(32, 'z');
    // @@a's definition gets number 9999 and its use, as it stands, 10000: a digit more
    const std::string many_names = scopes_defining_x(9999) + proc_a;
    const std::string long_label = "far:" + std::string(1013, ' ') + "nop\n";  // 8 columns short of the limit
    // procedures first..last, each with a label that splits @@x, indented by indent
    const auto procedures = [](int first, int last, const char* indent) {
        std::string text;
        for (int n = first; n <= last; ++n) {
            const std::string i = std::to_string(n);
            text.append("p").append(i).append(" proc\n@@x: nop\n").append(indent).append("l").append(i);
            text.append(":\n jmp @@x\np").append(i).append(" endp\n");
        }
        return text;
    };
    // joining @@loop would give @@lo its number
    const std::string bad_procedure = "q proc\n@@loop: nop\nl2:\n@@lo: jmp @@lo\n jmp @@loop\nq endp\n";
    const auto split = [](const std::string& place, const std::string& name, int line) {
        return warn(place,
                    "-l@@ leaves @@" + name + " undefined here: it is defined in the previous scope, at line " +
                        std::to_string(line),
                    "scope-split");
    };
    const auto joined = [](int line, const std::string& label, const std::string& name, const char* hazard) {
        return note(std::to_string(line) + ":1", "indented " + label + " so that @@" + name + " is one scope", hazard);
    };
    const auto refused = [](int line, const std::string& why, const char* hazard = "scope-split") {
        return note(std::to_string(line) + ":1", "not indented: this line " + why + ", so @@a stays split", hazard);
    };
    // clang-format off
    const struct {
        std::string source;
        std::string fixed;  // "" where it stays as it is
        std::string out;
        std::vector<std::string> args = {"-x", "-l@@", "in.asm"};
    } cases[] = {
        {proc_a + "straight:\n jnz @@a\np endp\n", proc_a + "\tstraight:\n jnz @@a\np endp\n",
         joined(3, "straight:", "a", "scope-split")},
        // a forward use across two labels, one with '::' and an instruction, and one across a label in a
        // procedure of the ideal form, of a name as long as keston takes
        {"q proc\n jmp @@out\nl2: ; two\nl3::\tmov ax,1\n@@out: ret\nq endp\n"
         "PROC r\n jmp @@" + long_name + "\nnext:\n@@" + long_name + ": ret\nENDP\n",
         "q proc\n jmp @@out\n\tl2: ; two\n\tl3::\tmov ax,1\n@@out: ret\nq endp\n"
         "PROC r\n jmp @@" + long_name + "\n\tnext:\n@@" + long_name + ": ret\nENDP\n",
         joined(3, "l2:", "out", "undefined-name") + joined(4, "l3::", "out", "undefined-name") +
         joined(9, "next:", long_name, "undefined-name")},
        // of two definitions as near the one before is taken, else the nearer
        {proc_a + "l2:\n jmp @@a\nl3:\n@@a: nop\np endp\nq proc\n@@b: nop\nm1:\nm2:\n jmp @@b\nm3:\n@@b: nop\nq endp\n",
         proc_a + "\tl2:\n jmp @@a\nl3:\n@@a: nop\np endp\nq proc\n@@b: nop\nm1:\nm2:\n jmp @@b\n\tm3:\n@@b: nop\nq endp\n",
         joined(3, "l2:", "a", "scope-split") + joined(13, "m3:", "b", "undefined-name")},
        {many_names + "l2:\n jmp @@a\n", many_names + "\tl2:\n jmp @@a\n", joined(20001, "l2:", "a", "scope-split")},
        // the new name of @@1 stands where the TAB has moved it
        {"s proc\n@@1: dec cx\nl1: jnz @@1\ns endp\n", "s proc\n@@n1: dec cx\n\tl1: jnz @@n1\ns endp\n",
         note("2:1", "renamed @@1 to @@n1", "invalid-name") + joined(3, "l1:", "1", "scope-split")},
        // a TAB in front expands to a whole tab stop, and the rest of the line moves by as much
        {proc_a + "l2:\tjnz @@a\n", proc_a + "\tl2:\tjnz @@a\n", joined(3, "l2:", "a", "scope-split"),
         {"-s", "-x", "-l@@", "in.asm"}},
        // outside a procedure, in another or across one, and behind its end, a routine's label stays
        {"t:\n@@a: nop\nroutine:\n jmp @@a\n" + tail, "t:\n@@a: nop\nroutine:\n jmp @@a\n" + fixed_tail,
         split("4:6", "a", 2) + joined(7, "lw:", "w", "scope-split")},
        {proc_a + "inner proc\n jmp @@a\ninner endp\n" + tail, proc_a + "inner proc\n jmp @@a\ninner endp\n" + fixed_tail,
         split("4:6", "a", 2) + joined(8, "lw:", "w", "scope-split")},
        {"p proc\ninner proc\n@@a: nop\ninner endp\nl2:\n jmp @@a\np endp\n" + tail,
         "p proc\ninner proc\n@@a: nop\ninner endp\nl2:\n jmp @@a\np endp\n" + fixed_tail,
         warn("6:6", "-l@@ leaves @@a undefined here: the scope from line 5 does not define it; it is defined at line 3, "
              "in the scope from line 2", "undefined-name") + joined(10, "lw:", "w", "scope-split")},
        {proc_a + "p endp\n jmp @@a\n" + tail, proc_a + "p endp\n jmp @@a\n" + fixed_tail,
         split("4:6", "a", 2) + joined(7, "lw:", "w", "scope-split")},
        // between them no directive, macro or data, no COMMENT block
        {proc_a + "five equ 5\n jmp @@a\n", "", refused(3, "is no plain label") + split("4:6", "a", 2)},
        {proc_a + "count = 5\n jmp @@a\n", "", refused(3, "is no plain label") + split("4:6", "a", 2)},
        {proc_a + "data segment\n jmp @@a\n", "", refused(3, "is no plain label") + split("4:6", "a", 2)},
        {proc_a + "_TEXT ends\n jmp @@a\n", "", refused(3, "is no plain label") + split("4:6", "a", 2)},
        {proc_a + "m macro\n endm\n jmp @@a\n", "", refused(3, "is no plain label") + split("5:6", "a", 2)},
        {proc_a + "table: db 1\n jmp @@a\n", "", refused(3, "is no plain label") + split("4:6", "a", 2)},
        {proc_a + "again: repeat_it 2\n jmp @@a\n", "", refused(3, "is no plain label") + split("4:6", "a", 2)},
        {proc_a + "mov ax,bx\n jmp @@a\n", "", refused(3, "is no plain label") + split("4:6", "a", 2)},
        {proc_a + ".x: nop\n jmp @@a\n", "", refused(3, "is no plain label") + split("4:6", "a", 2)},
        // the lines of a COMMENT block open scopes as any other
        {proc_a + "comment ~\n~\n jmp @@a\n", "", refused(3, "lies in a COMMENT block", "undefined-name") +
         warn("5:6", "-l@@ leaves @@a undefined here: the scope from line 4 does not define it; it is defined at line 2, "
              "in the scope from line 1", "undefined-name")},
        {proc_a + "@@b: nop\nl2:\n jmp @@a\n@@b: nop\n", "",
         note("4:1", "l2: is not indented: the joined scope would define @@b twice, at lines 3 and 6, so @@a stays split",
              "scope-split") + split("5:6", "a", 2)},
        // @@lo would take the number of @@loop; the second procedure, whose label joins two names, is joined
        {"p proc\n@@loop: nop\nl2:\n@@lo: jmp @@lo\n jmp @@loop\np endp\n"
         "q proc\n@@x: nop\n@@y: nop\nl8:\n jmp @@x\n jmp @@y\nq endp\n",
         "p proc\n@@loop: nop\nl2:\n@@lo: jmp @@lo\n jmp @@loop\np endp\n"
         "q proc\n@@x: nop\n@@y: nop\n\tl8:\n jmp @@x\n jmp @@y\nq endp\n",
         note("3:1", "l2: is not indented: keston's output would then differ at line 4 in more than the TAB and the "
              "joined names' numbers, so @@loop stays split", "scope-split") + split("5:6", "loop", 2) +
         joined(10, "l8:", "x", "scope-split")},
        // the line that opens the first joined scope defines @@b in it
        {"p proc\nlocal @@b\n@@a: nop\nl2:\n@@b: nop\n jmp @@a\np endp\n", "",
         note("4:1", "l2: is not indented: the joined scope would define @@b twice, at lines 2 and 5, so @@a stays split",
              "scope-split") + split("6:6", "a", 3)},
        // the line that opens the next scope defines @@b there, not in the joined scope
        {proc_a + "@@b: nop\nl2:\n jmp @@a\nlocal @@b\np endp\n", proc_a + "@@b: nop\n\tl2:\n jmp @@a\nlocal @@b\np endp\n",
         joined(4, "l2:", "a", "scope-split")},
        // the one join that changes the output is found between others, which are all joined
        {procedures(1, 2, "") + bad_procedure + procedures(3, 4, ""),
         procedures(1, 2, "\t") + bad_procedure + procedures(3, 4, "\t"),
         joined(3, "l1:", "x", "scope-split") + joined(8, "l2:", "x", "scope-split") +
         note("13:1", "l2: is not indented: keston's output would then differ at line 14 in more than the TAB and the "
              "joined names' numbers, so @@loop stays split", "scope-split") + split("15:6", "loop", 12) +
         joined(19, "l3:", "x", "scope-split") + joined(24, "l4:", "x", "scope-split")},
        {proc_a + long_label + " jmp @@a\n", "",
         note("3:1", "far: is not indented: keston's output would then differ at line 3 in more than the TAB and the "
              "joined names' numbers, so @@a stays split", "scope-split") + split("4:6", "a", 2),
         {"-s", "-x", "-l@@", "in.asm"}},
    };
    // clang-format on
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "in.asm", c.source);
        const RunResult result = run_check(c.args, dir.path());
        const std::string fixed = c.fixed.empty() ? c.source : c.fixed;
        EXPECT_EQ(result.out, c.out) << c.source;
        EXPECT_EQ(result.err, "") << c.source;
        EXPECT_EQ(result.exit_code, c.out.find("warning") == std::string::npos ? 0 : 1) << c.source;
        EXPECT_EQ(read_file(dir / "in.asm"), fixed) << c.source;
        if (c.fixed.empty() || c.fixed.find("@@n1") != std::string::npos) continue;
        std::vector<std::string> args(c.args.begin(), c.args.end() - 1);
        std::erase(args, "-x");
        args.insert(args.end(), {"in.asm", "out.asm"});
        const auto keston_output = [&](const std::string& source) {
            write_file(dir / "in.asm", source);
            EXPECT_EQ(run_keston(args, dir.path()).out, "") << source;
            return read_file(dir / "out.asm");
        };
        EXPECT_TRUE(differ_only_by_joining(keston_output(c.source), keston_output(fixed))) << c.source;
    }
}

// A source that ends inside an open COMMENT block leaves the next source's
// lines out of it: each source's survey starts outside any block.
TEST(Check, FixJoinsScopesInASourceBehindAnOpenCommentBlock) {
    TempDir dir;
    write_file(dir / "a.asm", "COMMENT *\n never closed\n");
    write_file(dir / "b.asm", "p PROC\n@@a: nop\nl2: nop\n jmp @@a\np ENDP\n");
    EXPECT_EQ(run_check({"-x", "-l@@", "a.asm", "b.asm"}, dir.path()).out,
              "b.asm:3:1: note: indented l2: so that @@a is one scope [scope-split]\n");
    EXPECT_EQ(read_file(dir / "b.asm"), "p PROC\n@@a: nop\n\tl2: nop\n jmp @@a\np ENDP\n");
}

// Label numbers start again in every file: a name that two files meeting in
// one assembly both make is reported in the one the assembler meets later,
// once, naming the first; a file named twice counts once, one that includes
// itself meets nobody, and independent modules are not compared.
TEST(Check, NameClashesBetweenSourcesThatMeetInOneAssembly) {
    const struct {
        std::vector<std::pair<std::string, std::string>> files;
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{{"main.asm", "main:\n include sub/util.inc ; helpers\n@@loop: jmp @@loop\n"},
          {"sub/util.inc", "util:\n %INCLUDE \"b.inc\"\n@@Loop: ret\n"},
          {"sub/b.inc", "b:\n jmp @@loop\n"},
          {"self.asm", "include self.asm\ns:\n@@loop: ret\n"}},
         {"-l@@", "main.asm", "sub/util.inc", "sub/b.inc", "./main.asm", "self.asm"},
         "sub/util.inc:3:1: warning: -l@@ makes @@Loop Loop_0000, as main.asm does at line 3 [name-clash]\n"
         "sub/b.inc:2:6: warning: -l@@ leaves @@loop undefined here: the scope from line 1 does not define it "
         "[undefined-name]\n"
         "sub/b.inc:2:6: warning: -l@@ makes @@loop loop_0000, as main.asm does at line 3 [name-clash]\n"},
        {{{"a.asm", "a:\n@@loop: ret\n"}, {"b.asm", "b:\n@@loop: ret\n"}}, {"-l@@", "a.asm", "b.asm"}, ""},
        // Two modules that include one file: each assembly compares it with its module.
        {{{"a.asm", "a:\n include c.inc\n"},
          {"b.asm", "b:\n include c.inc\n jmp @@loop\n"},
          {"c.inc", "c:\n@@loop: ret\n"}},
         {"-l@@", "a.asm", "b.asm", "c.inc"},
         "b.asm:3:6: warning: -l@@ leaves @@loop undefined here: the scope from line 1 does not define it "
         "[undefined-name]\n"
         "c.inc:2:1: warning: -l@@ makes @@loop loop_0000, as b.asm does at line 3 [name-clash]\n"},
        // Two files that one assembly compared are not compared again in another order.
        {{{"m1.asm", "m1:\n include u.inc\n include v.inc\n"},
          {"m2.asm", "m2:\n include v.inc\n include u.inc\n"},
          {"u.inc", "u:\n@@loop: ret\n"},
          {"v.inc", "v:\n@@loop: ret\n"}},
         {"-l@@", "m1.asm", "m2.asm", "u.inc", "v.inc"},
         "v.inc:2:1: warning: -l@@ makes @@loop loop_0000, as u.inc does at line 2 [name-clash]\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::filesystem::create_directory(dir / "sub");
        for (const auto& [name, text] : c.files) write_file(dir / name, text);
        EXPECT_EQ(run_check(c.args, dir.path()).out, c.out) << c.args[1];
    }
}

// -x rewrites in place as keston does: a link stays a link to the rewritten
// file, which keeps its mode; a file that cannot be replaced so, or written
// whole, or that is no regular file, is not rewritten, and no temporary file
// stays behind.
TEST(Posix, FixInPlaceKeepsTheFileWholeOrAsItWas) {
    const std::string source = "p:\n@@1: ret\n";
    const struct {
        std::string name;
        std::string setup;
        ChildSetup child;
        std::string err;
        int exit_code;
    } cases[] = {
        // clang-format off
        {"link.asm", "true", {}, "", 0},
        {"x.asm", "chattr +i x.asm 2>/dev/null || chmod 0444 x.asm", {},
         "x.asm:0: error: not rewritten: it cannot be replaced with its access and settings kept\n", 2},
        {"x.asm", "true", {.environment = io_fault(".keston-", "close")}, "x.asm:0: error: not rewritten: write error\n", 2},
        {"/dev/null", "true", {}, "/dev/null:0: error: not rewritten: not a regular file\n", 2},
        // clang-format on
    };
    for (const auto& c : cases) {
        TempDir dir;
        write_file(dir / "x.asm", source);
        std::filesystem::create_symlink("x.asm", dir / "link.asm");
        ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && chmod 0641 x.asm && " + c.setup).c_str()), 0);
        const auto mode = std::filesystem::status(dir / "x.asm").permissions();
        const RunResult result = run_check({"-x", "-l@@", c.name}, dir.path(), c.child);
        std::system(("chattr -i '" + (dir / "x.asm").string() + "' 2>/dev/null").c_str());
        EXPECT_EQ(result.err, c.err) << c.name;
        EXPECT_EQ(result.exit_code, c.exit_code) << c.name;
        EXPECT_EQ(read_file(dir / "x.asm"), c.exit_code == 0 ? "p:\n@@n1: ret\n" : source) << c.name;
        EXPECT_EQ(std::filesystem::status(dir / "x.asm").permissions(), mode) << c.name;
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.asm")) << c.name;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2) << c.name;
    }
}

// An interrupt while -x reads a source ends the run with keston's message and
// the source as it was. The read shim stops the run in the middle of it.
TEST(Posix, FixInterruptedLeavesTheSourceAsItWas) {
    const std::string source = "p:\n@@1: ret\n" + numbered_lines(200);
    TempDir dir;
    write_file(dir / "in.asm", source);
    std::vector<std::string> command = companion_command("keston-check");
    command.insert(command.end(), {"-x", "-l@@", "in.asm"});
    const Child child = start_program(command, dir.path(), {.environment = io_fault("in.asm", "stop", 1000)});
    ASSERT_TRUE(stopped(child));
    ::kill(child.pid, SIGINT);
    ::kill(child.pid, SIGCONT);
    const RunResult result = finish(child);
    EXPECT_EQ(result.err, fatal("Operation is interrupted by user"));
    EXPECT_EQ(result.signal, SIGINT);
    EXPECT_EQ(read_file(dir / "in.asm"), source);
}

}  // namespace
}  // namespace keston::test
