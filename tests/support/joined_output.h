// Whether keston's output of a source that keston-check -x indented differs
// from that of the source as it was only as joining label scopes allows.
#pragma once

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace keston::test {

inline std::vector<std::string> output_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Line by line the same but for blanks in front of a line of after (a TAB,
// or as many spaces with -s) where before's begins with none, and the
// same labels but for their numbers, which map one to one except that
// numbers of one name may have become one.
inline bool differ_only_by_joining(const std::string& before, const std::string& after) {
    const std::regex label(R"(([A-Za-z_@$?~][\w@$?~]*)_(\d{4,}))");
    const std::vector<std::string> a = output_lines(before), b = output_lines(after);
    std::map<std::string, std::string> forth;  // "name_number" of before to after
    std::map<std::string, std::string> back;   // the number of after to the name it is met with
    for (std::size_t i = 0; i < a.size() && a.size() == b.size(); ++i) {
        const bool indented = !a[i].empty() && a[i][0] != ' ' && a[i][0] != '\t';
        const std::string shifted = indented ? b[i].substr(std::min(b[i].find_first_not_of(" \t"), b[i].size())) : b[i];
        if (std::regex_replace(a[i], label, "$1_#") != std::regex_replace(shifted, label, "$1_#")) return false;
        std::sregex_iterator x(a[i].begin(), a[i].end(), label), y(shifted.begin(), shifted.end(), label);
        for (; x != std::sregex_iterator(); ++x, ++y) {
            if (forth.try_emplace(x->str(), y->str()).first->second != y->str()) return false;
            if (back.try_emplace((*y)[2], (*y)[1]).first->second != (*y)[1]) return false;
        }
    }
    return a.size() == b.size();
}

}  // namespace keston::test
