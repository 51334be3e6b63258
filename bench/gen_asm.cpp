// Writes deterministic assembler source of about the given size to standard
// output, CR LF ended, in one of two profiles:
//   harsh   procedures whose every other line is changed by the full chain:
//           @@ local labels, ; and // comments, quoted strings holding
//           semicolons, tabs and runs of spaces, trailing blanks, empty lines;
//   tabbed  code as most real sources hold it: tab-aligned instructions in
//           stretches of about five lines that the chain leaves as they are,
//           between stretches of commented, labelled or space-aligned lines.
//
//   gen_asm <bytes> [harsh|tabbed]

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

namespace {

unsigned long long g_state = 0x9E3779B97F4A7C15ULL;

unsigned next(unsigned bound) {
    g_state = g_state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<unsigned>((g_state >> 33) % bound);
}

const char* pick(const char* const* words, unsigned count) {
    return words[next(count)];
}

void add(std::string& out, std::initializer_list<const char*> pieces) {
    for (const char* piece : pieces) out += piece;
}

constexpr const char* OPS[] = {"mov", "add", "sub", "cmp", "xor", "and", "or", "lea", "push", "pop", "inc", "dec"};
constexpr const char* REGS[] = {"ax", "bx", "cx", "dx", "si", "di", "bp", "al", "ah", "[bx+si]", "es:[di]"};
constexpr const char* JUMPS[] = {"jmp", "jz", "jnz", "jc", "jnc", "loop", "ja", "jbe"};
constexpr const char* LABELS[] = {"loop", "next", "done", "skip", "again", "found", "exit", "retry", "l1", "l2"};
constexpr const char* WORDS[] = {"count", "the", "bytes", "pointer", "buffer", "keep", "flags", "line", "set up"};

void instruction(std::string& out) {
    switch (next(6)) {
        case 0:
            add(out, {"\t", pick(JUMPS, 8), "\t@@", pick(LABELS, 10)});
            break;
        case 1:
            add(out, {"        ", pick(OPS, 12), "     ", pick(REGS, 11), ", ", pick(REGS, 11)});
            break;
        case 2:
            add(out, {"\tdb\t\"", pick(WORDS, 9), "; ", pick(WORDS, 9), "\", 0"});
            break;
        case 3:
            out += "\tcmp\tal, ';'";
            break;
        default:
            add(out, {"\t", pick(OPS, 12), "\t", pick(REGS, 11), ", ", pick(REGS, 11)});
    }
    switch (next(4)) {
        case 0:
            add(out, {"\t\t; ", pick(WORDS, 9), " ", pick(WORDS, 9)});
            break;
        case 1:
            add(out, {"   // ", pick(WORDS, 9)});
            break;
        default:
            break;
    }
}

void procedure(std::string& out, unsigned number) {
    const std::string name = std::to_string(number);
    add(out, {"; ---- procedure ", name.c_str(), " ----\r\nproc", name.c_str(), ":\r\n"});
    const unsigned lines = 8 + next(24);
    for (unsigned i = 0; i < lines; ++i) {
        if (next(6) == 0) add(out, {"@@", pick(LABELS, 10), ":"});
        instruction(out);
        out += next(8) == 0 ? "  \r\n" : "\r\n";
    }
    out += "\tret\r\n\r\n";
}

// A line the full chain leaves as it is: an instruction aligned by TABs.
void tabbed_line(std::string& out) {
    add(out, {"\t", pick(OPS, 12), "\t", pick(REGS, 11), ", ", pick(REGS, 11), "\r\n"});
}

// A line the full chain changes: a comment, a label, spaces, a string.
void changed_line(std::string& out) {
    switch (next(5)) {
        case 0:
            add(out, {"\t", pick(OPS, 12), "\t", pick(REGS, 11), ", ", pick(REGS, 11), "\t\t; ", pick(WORDS, 9), "\r\n"});
            break;
        case 1:
            add(out, {"@@", pick(LABELS, 10), ":\r\n"});
            break;
        case 2:
            add(out, {"\t", pick(JUMPS, 8), "\t@@", pick(LABELS, 10), "\r\n"});
            break;
        case 3:
            add(out, {"        ", pick(OPS, 12), "     ", pick(REGS, 11), ", ", pick(REGS, 11), "\r\n"});
            break;
        default:
            add(out, {"; ", pick(WORDS, 9), " ", pick(WORDS, 9), "\r\n"});
    }
}

// Stretches of unchanged lines (4.5 lines on average, 5 with the procedure's
// first or last line) between stretches of changed ones (9 lines on average):
// three lines in five change.
void tabbed_procedure(std::string& out, unsigned number) {
    const std::string name = std::to_string(number);
    add(out, {"proc", name.c_str(), ":\r\n"});
    for (unsigned stretch = 0; stretch < 4; ++stretch) {
        for (unsigned i = 1 + next(8); i != 0; --i) tabbed_line(out);
        for (unsigned i = 1 + next(17); i != 0; --i) changed_line(out);
    }
    for (unsigned i = 1 + next(8); i != 0; --i) tabbed_line(out);
    out += "\tret\r\n\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    const bool tabbed = argc == 3 && std::string(argv[2]) == "tabbed";
    if (argc < 2 || argc > 3 || (argc == 3 && !tabbed && std::string(argv[2]) != "harsh")) {
        std::fprintf(stderr, "usage: gen_asm <bytes> [harsh|tabbed]\n");
        return 2;
    }
    const unsigned long long target = std::strtoull(argv[1], nullptr, 10);
    unsigned long long written = 0;
    std::string chunk;
    for (unsigned number = 0; written < target; ++number) {
        chunk.clear();
        if (tabbed) {
            tabbed_procedure(chunk, number);
        } else {
            procedure(chunk, number);
        }
        std::fwrite(chunk.data(), 1, chunk.size(), stdout);
        written += chunk.size();
    }
    return 0;
}
