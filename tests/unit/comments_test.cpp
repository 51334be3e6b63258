#include "transform/comments.h"

#include <gtest/gtest.h>

#include "line_buffer.h"

namespace keston {
namespace {

struct CommentCase {
    const char* before;
    const char* after;
};

void expect_cuts(void (*strip)(), std::initializer_list<CommentCase> cases) {
    for (const CommentCase& c : cases) {
        test::load_line(c.before);
        strip();
        EXPECT_EQ(g_line_toggle, 0);
        EXPECT_EQ(test::current(), c.after) << "from: " << c.before;
    }
}

void strip_both() {
    strip_asm_comment();
    strip_cpp_comment();
}

TEST(StripAsmComment, CutsFromTheFirstUnprotectedSemicolon) {
    expect_cuts(strip_asm_comment, {
        {";comment", ""},
        {"mov ax,1 ; set", "mov ax,1"},
        {"mov ax,1\t;x", "mov ax,1"},
        {"   ;x", ""},
        {"mov ax,1   ", "mov ax,1   "},
        {"db \"a;b\" ; x", "db \"a;b\""},
        {"db \"a;b", "db \"a;b"},
        {"cmp al,';' ; x", "cmp al,';'"},
        {"cmp al,'a;'", "cmp al,'a"},
        {"x ';x'", "x '"},
        {"x ';", "x '"},
        {"mov al,'\"' ; x", "mov al,'\"' ; x"},
        {"\"a\";b", "\"a\";b"},
        {"\"a;b\"", "\"a"},
        {"", ""},
    });
}

TEST(StripCppComment, CutsFromTheFirstDoubleSlashWhateverTheQuotes) {
    expect_cuts(strip_cpp_comment, {
        {"// note", ""},
        {"///x", ""},
        {"mov ax,1 // x", "mov ax,1"},
        {"  //x", ""},
        {"db \"a//b\"", "db \"a"},
        {"a/b/c", "a/b/c"},
        {"a/", "a/"},
        {"a \t", "a \t"},
        {"", ""},
    });
}

TEST(StripComments, AsmRunsBeforeCpp) {
    expect_cuts(strip_both, {
        {"mov ax,1 // a ; b", "mov ax,1"},
        {"db \"a;b\" // c", "db \"a;b\""},
        {"db \"a//b\" ; c", "db \"a"},
    });
}

}  // namespace
}  // namespace keston
