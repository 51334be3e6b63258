#include <gtest/gtest.h>

#include <string>

#include "cmdline/command_line.h"

namespace keston {
namespace {

TEST(ApplyDefaultExtension, AddsAsmOnlyWhenTheNameHasNoDotAnywhere) {
    const std::string n249(249, 'n');
    const struct {
        std::string name;
        int result;
        std::string stored;
    } cases[] = {
        {"in", 0, "in.ASM"},
        {"in.asm", 0, "in.asm"},
        {"prog.", 0, "prog."},
        {"../src/prog", 0, "../src/prog"},
        {"dir.d/prog", 0, "dir.d/prog"},
        {n249, 0, n249 + ".ASM"},
        {n249 + "n", 1, ""},
        {n249 + "nn.txt", 0, n249 + "nn.txt"},  // 255 characters with a dot
        {n249 + "nnn.txt", 1, ""},              // 256
    };
    for (const auto& c : cases) {
        char stored[FILE_NAME_SIZE] = "";
        EXPECT_EQ(apply_default_extension(c.name.c_str(), stored), c.result) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(std::string(stored), c.stored);
        }
    }
}

}  // namespace
}  // namespace keston
