#include "include/include_finder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "support/harness.h"

namespace keston {
namespace {

TEST(IncludeFinder, IncludeLinesNameTheirFile) {
    const struct {
        std::string line;
        std::string name;  // empty: no include line
    } cases[] = {
        {"include util.inc", "util.inc"},
        {"\tINCLUDE\t'a b.inc'  ; comment", "a b.inc"},
        {"  %include \"x.inc\"", "x.inc"},
        {"Include <sys.inc>", "sys.inc"},
        {"include ..\\INC\\Util.inc\t", "..\\INC\\Util.inc"},
        {"include 'x'", "x"},
        {"include \"\"", "\"\""},
        {"include", ""},
        {"include ", ""},
        {"includes x.inc", ""},
        {"; include x.inc", ""},
        {"\tmov ax, include", ""},
        {"include ;x", ""},
    };
    for (const auto& c : cases) {
        std::uint32_t start = 0;
        std::uint32_t end = 0;
        const bool found = find_include_name(c.line.data(), static_cast<std::uint32_t>(c.line.size()), &start, &end);
        EXPECT_EQ(found, !c.name.empty()) << c.line;
        if (found) {
            EXPECT_EQ(c.line.substr(start, end - start), c.name) << c.line;
        }
    }
}

TEST(IncludeFinder, IncludePathsLeadFromTheFolderOfTheFile) {
    const struct {
        const char* from;
        const char* name;
        const char* joined;
    } cases[] = {
        {"build/main.asm", "util.inc", "build/util.inc"}, {"build/main.asm", "..\\inc\\.\\Util.inc", "inc/Util.inc"},
        {"build/src/a.asm", "../../x/../y.inc", "y.inc"}, {"build/a.asm", "../../y.inc", "../y.inc"},
        {"main.asm", "../../a/b.inc", "../../a/b.inc"},   {"b/main.asm", "/abs/x.inc", "/abs/x.inc"},
        {"a/b/c.asm", "./d//e.inc", "a/b/d/e.inc"},
    };
    for (const auto& c : cases) {
        char joined[INCLUDE_PATH_SIZE];
        ASSERT_TRUE(join_include_path(c.from, c.name, std::strlen(c.name), joined)) << c.name;
        EXPECT_STREQ(joined, c.joined) << c.from << " " << c.name;
    }
    char joined[INCLUDE_PATH_SIZE];
    const std::string too_long(INCLUDE_PATH_SIZE, 'x');
    EXPECT_FALSE(join_include_path("a/b.asm", too_long.c_str(), too_long.size(), joined));
}

// Beside the includer first, then in the current folder; '\' separates
// folders, and a name in another case finds the one entry it names.
TEST(IncludeFinder, IncludedFilesAreFoundAsAssemblersAndDosSourcesFindThem) {
    test::TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir / "src/Inc");
    fs::create_directories(dir / "twins");
    for (const char* file : {"src/main.asm", "src/Inc/Util.inc", "top.inc", "src/top.inc", "twins/a.inc", "twins/A.inc",
                             "src/Inc/zed.inc", "only.inc"}) {
        test::write_file(dir / file, "");
    }
    const struct {
        const char* includer;
        const char* name;
        const char* found;  // null: none
    } cases[] = {
        {"src/main.asm", "top.inc", "src/top.inc"},
        {"main.asm", "top.inc", "top.inc"},
        {"src/main.asm", "only.inc", "only.inc"},
        {"src/main.asm", "INC\\UTIL.INC", "src/Inc/Util.inc"},
        {"src/main.asm", "inc/util.inc", "src/Inc/Util.inc"},
        {"src/main.asm", "inc\\ZED.INC", "src/Inc/zed.inc"},
        {"src/main.asm", "twins/a.inc", "twins/a.inc"},
        {"src/main.asm", "Twins/a.INC", nullptr},
        {"src/main.asm", "gone.inc", nullptr},
        {"src/main.asm", "src", nullptr},
        {"src/main.asm", "", nullptr},
    };
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    for (const auto& c : cases) {
        char found[INCLUDE_PATH_SIZE];
        const bool any = find_included_file(c.includer, c.name, std::strlen(c.name), found);
        EXPECT_EQ(any, c.found != nullptr) << c.name;
        if (any && c.found != nullptr) {
            EXPECT_STREQ(found, c.found) << c.name;
        }
    }
    char found[INCLUDE_PATH_SIZE];
    EXPECT_TRUE(find_file_in_any_case("SRC/inc/util.INC", found));
    EXPECT_STREQ(found, "src/Inc/Util.inc");
    fs::current_path(before);
}

}  // namespace
}  // namespace keston
