#include "stream/text_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/globals.h"
#include "support/harness.h"

namespace keston {
namespace {

// Every line read_line delivers (stored bytes, NULs included) with the given chunk size.
std::vector<std::string> read_all(const std::filesystem::path& file, std::uint32_t chunk) {
    g_input = open_input(file.c_str(), chunk);
    EXPECT_NE(g_input, nullptr);
    std::vector<std::string> lines;
    char buffer[LINE_BUFFER_SIZE];
    for (std::int32_t n; (n = read_line(buffer)) >= 0;) {
        EXPECT_EQ(buffer[n], '\0');
        EXPECT_EQ(g_line_length, std::strlen(buffer));
        lines.emplace_back(buffer, n);
    }
    close_stream(g_input);
    g_input = nullptr;
    return lines;
}

TEST(ReadLine, SplitsAtLfAndDropsEveryCrWhateverTheChunkBoundaries) {
    const std::string x1022(1022, 'x');
    // 16,000 empty lines, then a line whose CR ends the first 16 KiB chunk and whose LF starts the next.
    std::vector<std::string> crossing(16000, "");
    crossing.insert(crossing.end(), {std::string(383, 'y'), "z"});
    // A full first chunk, then a short last one that ends in a bare CR where
    // the first chunk held an LF.
    std::vector<std::string> short_end(16, x1022);
    short_end.insert(short_end.begin(), "abc");
    short_end.insert(short_end.end(), {std::string(11, 'y'), "ab"});
    std::string short_end_text = "abc\n";
    for (int i = 0; i < 16; ++i) short_end_text += x1022 + "\n";
    short_end_text += std::string(11, 'y') + "\nab\r";
    // clang-format off
    const struct {
        std::string input;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}}, {"A\n", {"A"}}, {"A", {"A"}}, {"\n\n", {"", ""}}, {"A\r\n", {"A"}}, {"A\n\r", {"A"}},
        {"A\rB\n", {"AB"}}, {"a\rb\rc\r", {"abc"}}, {std::string("A\0B\0C\n", 6), {std::string("A\0B\0C", 5)}},
        {"\x80\xff\n", {"\x80\xff"}}, {x1022 + "\n" + x1022, {x1022, x1022}}, {x1022 + "\r\r\n", {x1022}},
        {"ok\n" + x1022 + "x\nnever\n", {"ok"}},  // 1023 bytes: too long, and reading stops
        {"ok\n" + x1022 + std::string(1, '\0'), {"ok"}}, {"A\nB\r", {"A", "B"}},
        {std::string(16000, '\n') + std::string(383, 'y') + "\r\nz\n", crossing}, {short_end_text, short_end}};
    // clang-format on
    for (const auto& c : cases) {
        test::TempDir dir;
        test::write_file(dir / "in", c.input);
        for (const std::uint32_t chunk : {0u, 1u, 2u, 3u, 7u, TS_BLOCK}) {
            EXPECT_EQ(read_all(dir / "in", chunk), c.lines) << "chunk " << chunk << ", " << c.input.size() << " bytes";
        }
    }
}

}  // namespace
}  // namespace keston
