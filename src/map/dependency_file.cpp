#include "map/dependency_file.h"

namespace keston::map {

namespace {

// A blank or '#' would end the name for make, and '$' would begin a variable.
void append_name(std::string* text, const std::string& name) {
    for (const char c : name) {
        if (c == ' ' || c == '\t' || c == '#') *text += '\\';
        if (c == '$') *text += '$';
        *text += c;
    }
}

}  // namespace

std::string dependency_rules(const std::string& target, const std::vector<std::string>& prerequisites) {
    std::string text;
    append_name(&text, target);
    text += ':';
    for (const std::string& name : prerequisites) {
        text += ' ';
        append_name(&text, name);
    }
    text += '\n';
    for (std::size_t i = 1; i < prerequisites.size(); ++i) {
        text += '\n';
        append_name(&text, prerequisites[i]);
        text += ":\n";
    }
    return text;
}

}  // namespace keston::map
