// Stands in for the assemblers in the tests of keston-map: prints a message
// in each form that assemblers print about a line of a file, and exits with
// the status given.
//   assembler_messages <status> <file> <line> <label>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
    if (argc != 5) return 64;
#ifdef _WIN32
    _setmode(1, _O_BINARY);  // the same bytes as on POSIX
    _setmode(2, _O_BINARY);
#endif
    const std::string file = argv[2], line = argv[3], label = argv[4];
    std::string capitals = file, label_capitals = label, backslashed = "C:\\build\\" + file;
    for (char& c : capitals) c = c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : label_capitals) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : backslashed) c = c == '/' ? '\\' : c;
    std::printf("Assembling: %s\n", file.c_str());  // no line number: stays as it is
    std::printf("%s(%s) : error A2006: undefined symbol : %s\r\n", file.c_str(), line.c_str(), label.c_str());
    std::printf("**Error** %s(%s) Undefined symbol: %s\n", capitals.c_str(), line.c_str(), label_capitals.c_str());
    std::printf("%s(%s): Error! E032: '%s' not defined\n", backslashed.c_str(), line.c_str(), label.c_str());
    std::printf("%s [%s]:\n\tjmp\t%s\nerror: undefined symbol '%s'.\n", file.c_str(), line.c_str(), label.c_str(),
                label.c_str());
    std::printf("%s is mentioned here without a reference", label.c_str());  // and without a line end
    std::fflush(stdout);
    std::fprintf(stderr, "%s:%s: error: symbol `%s' not defined\n", file.c_str(), line.c_str(), label.c_str());
    std::fprintf(stderr, "%s:%s:9: error: unknown token in expression: %s\n", file.c_str(), line.c_str(),
                 label.c_str());
    return std::atoi(argv[1]);
}
