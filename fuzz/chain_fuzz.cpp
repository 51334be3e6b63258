// Fuzzes the line chain. Input: byte 0 selects the switches (bits: -a -c -e -f
// -s -t -l), byte 1 the -t width, byte 2 the -s width (0: as -t), bytes 3 and 4
// the label prefix; the rest is the source. Three harnesses run on it:
//  - a whole run through the real streams and process_file, on memory files,
//    after which the destination must be well formed;
//  - the transformations one line at a time, checked against properties that
//    hold for every line: compress_tabs gives a plain model's result, and
//    expanding what it made of a line without double quotes gives that line
//    back and leaves no run of spaces that reaches a tab stop, and local
//    labels are rewritten as name, '_' and a number that no other scope uses,
//    the number a plain walk of the scope's name list gives;
//  - the chain as a whole, which skips the tab steps for a line that they
//    would give back, against every step run in turn.
// Without switches that change lines, the destination must be the model's:
// every line with its CRs dropped, cut at its first NUL and ended by CR LF,
// up to the first line that is too long.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/globals.h"
#include "driver/line_loop.h"
#include "stream/text_stream.h"
#include "transform/chain.h"
#include "transform/comments.h"
#include "transform/local_labels.h"
#include "transform/tab_compression.h"
#include "transform/tab_expansion.h"

using namespace keston;

namespace {

constexpr std::uint32_t SWITCH_BITS[] = {F_ASM_COMMENTS, F_CPP_COMMENTS,  F_NO_EMPTY_LINES, F_WHOLE_FILE,
                                         F_EXPAND_TABS,  F_COMPRESS_TABS, F_LOCAL_LABELS};
constexpr std::size_t HEADER = 5;

void require(bool condition) {
    if (!condition) __builtin_trap();
}

int memory_file(const std::uint8_t* data, std::size_t size) {
    const int fd = ::memfd_create("keston-fuzz", 0);
    require(fd > 0 && ::write(fd, data, size) == static_cast<ssize_t>(size));
    return fd;
}

std::string path_of(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

std::string contents(int fd) {
    std::string bytes;
    char block[65536];
    for (off_t at = 0;; at += sizeof block) {
        const ssize_t got = ::pread(fd, block, sizeof block, at);
        if (got <= 0) return bytes;
        bytes.append(block, static_cast<std::size_t>(got));
    }
}

// The destination: lines of at most 1023 characters, each ended by CR LF, no
// CR, LF or NUL inside; with -s or -t no line ends in a blank, with -s alone no
// TAB is left, and with -e no line is empty.
void check_destination(const std::string& out) {
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find("\r\n", start);
        require(end != std::string::npos);
        const std::string line = out.substr(start, end - start);
        require(line.size() <= 1023 && line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
        if ((g_switches & (F_EXPAND_TABS | F_COMPRESS_TABS)) != 0) {
            require(line.empty() || !is_blank(line.back()));
        }
        if ((g_switches & (F_EXPAND_TABS | F_COMPRESS_TABS)) == F_EXPAND_TABS)
            require(line.find('\t') == std::string::npos);
        if ((g_switches & F_NO_EMPTY_LINES) != 0) require(!line.empty());
        start = end + 2;
    }
}

// What keston writes when no switch changes lines.
std::string unchanged_lines_model(const std::uint8_t* source, std::size_t size) {
    std::string out;
    std::string line;
    bool pending = false;
    for (std::size_t i = 0; i < size; ++i) {
        if (source[i] == '\n') {
            out += line.substr(0, std::strlen(line.c_str())) + "\r\n";
            line.clear();
            pending = false;
            continue;
        }
        if (source[i] == '\r') continue;
        line.push_back(static_cast<char>(source[i]));
        pending = true;
        if (line.size() == 1023) return out;
    }
    if (pending) out += line.substr(0, std::strlen(line.c_str())) + "\r\n";
    return out;
}

constexpr std::uint32_t LINE_CHANGING_SWITCHES =
    F_ASM_COMMENTS | F_CPP_COMMENTS | F_EXPAND_TABS | F_LOCAL_LABELS | F_COMPRESS_TABS | F_NO_EMPTY_LINES;

void run_whole_chain(const std::uint8_t* source, std::size_t size) {
    const int in = memory_file(source, size);
    const int out = memory_file(nullptr, 0);
    g_input = open_input(path_of(in).c_str(), (g_switches & F_WHOLE_FILE) != 0 ? 0 : TS_BLOCK);
    g_output = open_output(path_of(out).c_str());
    require(g_input != nullptr && g_output != nullptr);
    process_file();
    close_stream(g_input);
    close_stream(g_output);
    g_input = g_output = nullptr;
    const std::string destination = contents(out);
    check_destination(destination);
    if ((g_switches & LINE_CHANGING_SWITCHES) == 0) require(destination == unchanged_lines_model(source, size));
    ::close(in);
    ::close(out);
}

// The source's lines as read_line delivers them to the chain.
std::vector<std::string> source_lines(const std::uint8_t* source, std::size_t size) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (source[i] == '\n') {
            lines.emplace_back();
        } else if (source[i] != '\r') {
            lines.back().push_back(static_cast<char>(source[i]));
        }
    }
    for (std::string& line : lines) line.resize(std::strlen(line.c_str()));
    return lines;
}

// The step's result, or nothing when it refused the line.
std::optional<std::string> run_step(const std::string& line, std::int32_t (*step)()) {
    std::memcpy(g_line_a, line.c_str(), line.size() + 1);
    g_line_length = static_cast<std::uint32_t>(line.size());
    g_line_toggle = 0;
    if (step() < 0) return std::nullopt;
    require(std::strlen(current_line()) <= 1023);
    return std::string(current_line());
}

std::int32_t compress_step() {
    compress_tabs();
    return 0;
}

// No space is left whose run of spaces reaches the next tab stop.
void check_compression_is_complete(const std::string& compressed) {
    const std::size_t width = g_compress_tab;
    std::size_t column = 0;
    for (std::size_t i = 0; i < compressed.size(); ++i) {
        if (compressed[i] == ' ') {
            const std::size_t to_stop = width - column % width;
            require(compressed.find_first_not_of(' ', i) - i < to_stop);
        }
        column += compressed[i] == '\t' ? width - column % width : 1;
    }
}

// Compression a run of spaces at a time: outside double quotes, a run that
// reaches stops becomes a TAB for each of them and the spaces behind the last.
// Every other byte, a TAB too, takes one column.
std::string compression_model(const std::string& line, std::size_t width) {
    std::string out;
    std::size_t column = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] != ' ' || quoted) {
            if (line[i] == '"') quoted = !quoted;
            out += line[i++];
            ++column;
            continue;
        }
        const std::size_t run = std::min(line.find_first_not_of(' ', i), line.size()) - i;
        const std::size_t stops = (column + run) / width - column / width;
        out.append(stops, '\t');
        out.append(stops == 0 ? run : (column + run) % width, ' ');
        column += run;
        i += run;
    }
    return out;
}

void check_compression(const std::string& line) {
    require(*run_step(line, compress_step) == compression_model(line, g_compress_tab));
    if (line.find('"') != std::string::npos) return;
    g_expand_tab = g_compress_tab;
    const std::optional<std::string> expanded = run_step(line, expand_tabs);
    if (!expanded) return;
    const std::string compressed = *run_step(*expanded, compress_step);
    check_compression_is_complete(compressed);
    require(run_step(compressed, expand_tabs) == expanded);
}

std::size_t label_name_length(const char* name) {
    static const char delimiters[] = "\t\0 :'\"\\;%&*()=-+|/[].,<>{}#";
    std::size_t length = 0;
    while (length <= 32 && std::memchr(delimiters, name[length], sizeof delimiters - 1) == nullptr) ++length;
    return length;
}

bool opens_scope(const std::string& line) {
    if (line.empty() || std::strchr("\t #/;", line[0]) != nullptr) return false;
    return !(line.size() > 1 && line[0] == g_label_prefix[0] && line[1] == g_label_prefix[1]);
}

// The name list searched by a plain walk from its start: the first stored
// name that begins with the name looked up gives the number; a name that
// none begins with is added, an empty one only counted.
struct NameListModel {
    std::vector<std::string> names;
    long base = 0;
    long count = 0;

    void open_scope() {
        names.clear();
        base = count;
    }
    long number_of(const std::string& name) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i].compare(0, name.size(), name) == 0) return base + static_cast<long>(i);
        }
        const long number = base + static_cast<long>(names.size());
        ++count;
        if (!name.empty()) names.push_back(name);
        return number;
    }
};

// Walks source and result side by side: plain bytes are copied, every prefixed
// name comes out as name, '_' and at least four digits, numbered as the model
// numbers it.
void check_labels(const std::string& source, const std::string& out, int scope, std::unordered_map<long, int>& scope_of,
                  NameListModel& model) {
    std::size_t i = 0;
    std::size_t j = 0;
    long model_number = 0;
    while (i < source.size()) {
        const bool prefixed =
            i + 1 < source.size() && source[i] == g_label_prefix[0] && source[i + 1] == g_label_prefix[1];
        const std::size_t length = prefixed ? label_name_length(source.c_str() + i + 2) : 0;
        if (prefixed) model_number = model.number_of(source.substr(i + 2, length));
        if (length == 0) {
            require(j < out.size() && out[j++] == source[i++]);
            continue;
        }
        require(out.compare(j, length, source, i + 2, length) == 0 && out[j + length] == '_');
        j += length + 1;
        // Below 10,000 labels every number has exactly four digits (a name behind may begin with digits too).
        long number = 0;
        for (const std::size_t end = j + 4; j < end; ++j) {
            require(j < out.size() && out[j] >= '0' && out[j] <= '9');
            number = number * 10 + (out[j] - '0');
        }
        require(number == model_number);
        const auto [known, added] = scope_of.emplace(number, scope);
        require(added || known->second == scope);
        i += 2 + length;
    }
    require(j == out.size());
}

void run_line_steps(const std::vector<std::string>& lines) {
    reset_label_state();
    std::unordered_map<long, int> scope_of;
    NameListModel model;
    int scope = 0;
    for (const std::string& line : lines) {
        if (line.size() > 1022) continue;
        check_compression(line);
        if (opens_scope(line)) {
            ++scope;
            model.open_scope();
        }
        const std::optional<std::string> labelled = run_step(line, process_local_labels);
        if (!labelled || g_label_count > 10000u) return;  // a refused name or line ends the run
        check_labels(line, *labelled, scope, scope_of, model);
        require(static_cast<long>(g_label_count) == model.count);
    }
}

// Every step that the switches select, in their order, without any skipped.
std::int32_t every_step() {
    g_line_toggle = 0;
    if ((g_switches & F_ASM_COMMENTS) != 0) strip_asm_comment();
    if ((g_switches & F_CPP_COMMENTS) != 0) strip_cpp_comment();
    if ((g_switches & (F_EXPAND_TABS | F_COMPRESS_TABS)) != 0 && expand_tabs() < 0) return -1;
    if ((g_switches & F_LOCAL_LABELS) != 0 && process_local_labels() < 0) return -1;
    if ((g_switches & F_COMPRESS_TABS) != 0) compress_tabs();
    return 0;
}

std::vector<std::optional<std::string>> chain_results(const std::vector<std::string>& lines, std::int32_t (*chain)()) {
    reset_label_state();
    std::vector<std::optional<std::string>> results;
    for (const std::string& line : lines) {
        if (line.size() > 1022) break;
        results.push_back(run_step(line, chain));
        if (!results.back()) break;
    }
    return results;
}

void check_chain(const std::vector<std::string>& lines) {
    require(chain_results(lines, transform_line) == chain_results(lines, every_step));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < HEADER) return 0;
    g_switches = 0;
    for (std::size_t bit = 0; bit < std::size(SWITCH_BITS); ++bit) {
        if ((data[0] >> bit) & 1) g_switches |= SWITCH_BITS[bit];
    }
    g_compress_tab = 1 + data[1] % 64;
    g_expand_tab = data[2] == 0 ? g_compress_tab : 1 + data[2] % 64;
    g_label_prefix[0] = data[3] == 0 ? '@' : static_cast<char>(data[3]);
    g_label_prefix[1] = data[4] == 0 ? '@' : static_cast<char>(data[4]);
    run_whole_chain(data + HEADER, size - HEADER);
    const std::vector<std::string> lines = source_lines(data + HEADER, size - HEADER);
    check_chain(lines);
    run_line_steps(lines);
    return 0;
}
