#include "stream/text_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"

namespace keston {
namespace {

using test::TempDir;

// Every line read_line delivers (stored bytes, NULs included), in one stream mode.
std::vector<std::string> read_all(const std::filesystem::path& file, std::uint32_t chunk) {
    g_input = open_input(file.c_str(), chunk);
    EXPECT_NE(g_input, nullptr);
    std::vector<std::string> lines;
    char buffer[1024];
    for (std::int32_t n; (n = read_line(buffer)) >= 0;) {
        EXPECT_EQ(buffer[n], '\0');
        lines.emplace_back(buffer, n);
    }
    close_stream(g_input);
    g_input = nullptr;
    return lines;
}

TEST(ReadLine, SplitsAtLfDropsEveryCrInEveryChunkSize) {
    const std::string x1022(1022, 'x');
    // 16,000 empty lines, then a line whose CR is the last byte of the first chunk and whose LF the first of the next.
    std::vector<std::string> crossing_lines(16000, "");
    crossing_lines.push_back(std::string(383, 'y'));
    crossing_lines.push_back("z");
    const struct {
        std::string input;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"A\n", {"A"}},
        {"A", {"A"}},
        {"\n\n", {"", ""}},
        {"A\r\n", {"A"}},
        {"A\n\r", {"A"}},
        {"A\rB\n", {"AB"}},
        {"a\rb\rc\r", {"abc"}},
        {std::string("A\0B\n", 4), {std::string("A\0B", 3)}},
        {"\x80\xff\n", {"\x80\xff"}},
        {x1022 + "\n" + x1022, {x1022, x1022}},
        {x1022 + "\r\r\n", {x1022}},
        {std::string(16000, '\n') + std::string(383, 'y') + "\r\nz\n", crossing_lines},
    };
    for (const auto& c : cases) {
        TempDir dir;
        test::write_file(dir / "in", c.input);
        for (const std::uint32_t chunk : {0u, 1u, 2u, 3u, 7u, TS_BLOCK}) {
            EXPECT_EQ(read_all(dir / "in", chunk), c.lines) << "chunk " << chunk << " input size " << c.input.size();
        }
    }
}

TEST(ReadLine, RefusesTheLineThatReachesTheLimit) {
    TempDir dir;
    test::write_file(dir / "in", "ok\n" + std::string(1023, 'x') + "\nnever\n");
    for (const std::uint32_t chunk : {0u, 5u, TS_BLOCK}) {
        EXPECT_EQ(read_all(dir / "in", chunk), std::vector<std::string>{"ok"});
    }
}

TEST(WriteBytes, WritesWholeBlocksOnlyWhenMoreBytesArrive) {
    TempDir dir;
    const auto file = dir / "out";
    const std::string data(40000, 'd');
    g_output = open_output(file.c_str());
    ASSERT_NE(g_output, nullptr);
    EXPECT_EQ(write_bytes(g_output, TS_BLOCK, data.data()), 0);
    EXPECT_EQ(write_bytes(g_output, 0, data.data()), 0);
    EXPECT_EQ(std::filesystem::file_size(file), 0u);  // a full buffer waits for more bytes
    EXPECT_EQ(write_bytes(g_output, 40000 - TS_BLOCK, data.data()), 0);
    EXPECT_EQ(std::filesystem::file_size(file), 2 * TS_BLOCK);
    close_stream(g_output);
    g_output = nullptr;
    EXPECT_EQ(test::read_file(file), data);
}

TEST(WriteBytes, ReportsAFailedBlock) {
    TextStream* stream = open_output("/dev/full");
    ASSERT_NE(stream, nullptr);
    const std::string data(TS_BLOCK + 1, 'd');
    EXPECT_EQ(write_bytes(stream, TS_BLOCK + 1, data.data()), TS_ERR_WRITE);
    close_stream(stream);
}

TEST(OpenStreams, FailWithoutAFileToWorkOn) {
    TempDir dir;
    EXPECT_EQ(open_input(nullptr, TS_BLOCK), nullptr);
    EXPECT_EQ(open_input((dir / "missing").c_str(), TS_BLOCK), nullptr);
    EXPECT_EQ(open_input(dir.path().c_str(), 0), nullptr);
    EXPECT_EQ(open_output(nullptr), nullptr);
    EXPECT_EQ(open_output((dir / "missing" / "out").c_str()), nullptr);
}

}  // namespace
}  // namespace keston
