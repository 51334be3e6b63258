// examples/project built as its README says, on copies: with make and its
// Makefile, and with CMake through the installed package. Each rebuild
// assembles only what changed, and each failure stops the build before a
// wrong binary is made.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "support/harness.h"

namespace keston::test {
namespace {

namespace fs = std::filesystem;

const fs::path PROJECT = KESTON_PROJECT_SAMPLE;

// The bytes that nasm makes of the project as it stands: the helper's
// "add ax, ax" (01 c0) and its saturation to 0FFFFh (b8 ff ff).
const std::string BINARY("\xb8\x01\x00\xb9\x03\x00\xe8\x04\x00\xe2\xfb\xeb\x08\x01\xc0\x73\x03\xb8\xff\xff\xc3\xc3",
                         22);

int shell(const std::string& command) {
    return std::system(command.c_str());
}

std::string keston_map() {
    return companion_command("keston-map").back();
}

// A copy of the project, built the way the test says.
class Project : public ::testing::Test {
   protected:
    void SetUp() override {
        if (shell("nasm -v >/dev/null 2>&1") == 0 && shell("make -v >/dev/null 2>&1") == 0) {
            fs::copy(PROJECT, dir_.path(), fs::copy_options::recursive);
            return;
        }
        if (std::getenv("CI")) FAIL() << "nasm or make is missing; CI must have them";
        GTEST_SKIP() << "nasm or make is not installed; skipping the example project";
    }

    // make in the copy with its messages in log; its status.
    int make(const std::string& arguments = "") {
        return shell("make -C '" + dir_.path().string() + "' KESTON_MAP='" + keston_map() + "' " + arguments + " >'" +
                     (dir_ / "log").string() + "' 2>&1");
    }

    std::string log() const { return read_file(dir_ / "log"); }

    void edit(const std::string& file, const std::string& from, const std::string& to) {
        const std::string text = read_file(dir_ / file);
        ASSERT_NE(text.find(from), std::string::npos) << from;
        write_file(dir_ / file, std::regex_replace(text, std::regex(from), to));
    }

    TempDir dir_;
};

// What a change to util.inc, made after a build, does to build/main.bin.
struct Rebuild {
    const char* change;
    std::string from, to;  // an empty from: the file is touched
    bool reassembled;
};
const Rebuild REBUILDS[] = {
    {"touched", "", "", false},
    {"comment edited", "the helper that", "the one helper that", false},
    {"code changed", "0FFFFh", "0FFFEh", true},
};

// Runs the rebuilds on the project in dir, built by build (0 when it built).
template <typename Build>
void check_rebuilds(const fs::path& dir, const fs::path& binary, Build build) {
    ASSERT_EQ(build(), 0);
    EXPECT_EQ(read_file(binary), BINARY);
    for (const Rebuild& rebuild : REBUILDS) {
        // Everything made goes an hour back, in the order it was made, so
        // that a file made again shows a time of its own.
        for (const auto& made : fs::recursive_directory_iterator(binary.parent_path())) {
            fs::last_write_time(made.path(), fs::last_write_time(made.path()) - std::chrono::hours(1));
        }
        const auto old_time = fs::last_write_time(binary);
        fs::last_write_time(dir / "src/util.inc", fs::file_time_type::clock::now());
        if (!rebuild.from.empty()) {
            const std::string text = read_file(dir / "src/util.inc");
            write_file(dir / "src/util.inc", std::regex_replace(text, std::regex(rebuild.from), rebuild.to));
        }
        ASSERT_EQ(build(), 0) << rebuild.change;
        EXPECT_EQ(fs::last_write_time(binary) != old_time, rebuild.reassembled) << rebuild.change;
        EXPECT_EQ(read_file(binary) != BINARY, rebuild.reassembled) << rebuild.change;
    }
}

TEST_F(Project, OnlyWhatChangedIsAssembledAgain) {
    for (const char* jobs : {"", "-j2"}) {
        TempDir copy;
        fs::copy(PROJECT, copy.path(), fs::copy_options::recursive);
        check_rebuilds(copy.path(), copy / "build/main.bin", [&] {
            return shell("make -s " + std::string(jobs) + " -C '" + copy.path().string() + "' KESTON_MAP='" +
                         keston_map() + "' >/dev/null");
        });
    }
}

// nasm refuses the sources as they stand (the // comment), so the binary
// can only come from the made include.
TEST_F(Project, NasmReadsTheMadeInclude) {
    EXPECT_NE(shell("cd '" + dir_.path().string() + "' && nasm -f bin -i src/ -o direct.bin src/main.asm 2>/dev/null"),
              0);
    ASSERT_EQ(make(), 0) << log();
    EXPECT_EQ(read_file(dir_ / "build/main.bin"), BINARY);
    EXPECT_EQ(read_file(dir_ / "build/util.inc").find("//"), std::string::npos);
}

TEST_F(Project, TwoBuildsFromCleanUnderJobsAreTheSame) {
    std::vector<std::string> builds[2];
    for (auto& files : builds) {
        ASSERT_EQ(make("clean"), 0);
        ASSERT_EQ(make("-j2"), 0) << log();
        for (const char* name : {"main.bin", "main.asm", "util.inc", "main.asm.d"}) {
            files.push_back(read_file(dir_ / "build" / name));
        }
    }
    EXPECT_EQ(builds[0], builds[1]);
    EXPECT_EQ(builds[0][0], BINARY);
}

// Each failure stops make before nasm runs or names the source's line, and
// leaves nothing made in part.
TEST_F(Project, FailuresStopTheBuildAndNameTheSource) {
    const struct {
        const char* file;
        std::string from, to;
        std::string message;
        bool nasm_runs;
    } cases[] = {
        {"src/util.inc", "\tret\n", "\tret\n\tmovv ax, 1\n", "src/util.inc:10: error: parser: instruction expected",
         true},
        {"src/util.inc", "\tret\n", "\tret\n" + std::string(1023, 'x') + "\n",
         "src/util.inc:10: error: line too long (1023 characters, at most 1022)", false},
        {"src/util.inc", "@@fits", "@@again",
         "src/util.inc:6:6: error: -l@@ makes @@again again_0000, as "
         "src/main.asm does at line 9 [name-clash]",
         false},
        {"src/main.asm", "\"util.inc\"", "\"../src/util.inc\"",
         "src/main.asm:14: error: ../src/util.inc would be made as src/util.inc, outside the build folder build/",
         false},
    };
    for (const auto& c : cases) {
        TempDir copy;
        fs::copy(PROJECT, copy.path(), fs::copy_options::recursive);
        const std::string text = read_file(copy / c.file);
        write_file(copy / c.file,
                   std::regex_replace(text, std::regex(c.from), c.to, std::regex_constants::format_first_only));
        const std::string log = (copy / "log").string();
        EXPECT_NE(shell("make -C '" + copy.path().string() + "' KESTON_MAP='" + keston_map() + "' >'" + log + "' 2>&1"),
                  0);
        EXPECT_NE(read_file(log).find(c.message), std::string::npos) << read_file(log);
        EXPECT_EQ(read_file(log).find("nasm -f bin") != std::string::npos, c.nasm_runs) << c.message;
        EXPECT_FALSE(fs::exists(copy / "build/main.bin")) << c.message;
        if (!c.nasm_runs) {
            EXPECT_FALSE(fs::exists(copy / "build")) << c.message;
        }
    }
}

// The CMake project, configured against the package installed into a
// prefix of its own.
TEST_F(Project, CMakeThroughTheInstalledPackageAssemblesOnlyWhatChanged) {
    TempDir prefix;
    ASSERT_EQ(shell("cmake --install '" KESTON_BUILD_DIR "' --prefix '" + prefix.path().string() + "' >/dev/null"), 0);
    const std::string build = (dir_ / "build-cmake").string();
    ASSERT_EQ(shell("cmake -S '" + dir_.path().string() + "' -B '" + build + "' -DCMAKE_PREFIX_PATH='" +
                    prefix.path().string() + "' >'" + (dir_ / "log").string() + "' 2>&1"),
              0)
        << log();
    check_rebuilds(dir_.path(), dir_ / "build-cmake/build/main.bin",
                   [&] { return shell("cmake --build '" + build + "' >/dev/null"); });
}

}  // namespace
}  // namespace keston::test
