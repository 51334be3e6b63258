#include "check/name_clash.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "check/name_syntax.h"
#include "check/report.h"
#include "common/globals.h"
#include "include/include_finder.h"
#include "platform/replacement.h"
#include "transform/local_labels.h"

namespace keston::check {

bool g_compares_sources = false;

namespace {

struct MadeLabel {
    std::string spelling;  // of its first place
    std::uint64_t number;
    std::uint64_t line;
    std::uint32_t column;
    bool defined;
};

struct ComparedSource {
    std::string name;
    std::uint32_t order;
    std::vector<std::string> includes;  // the names as written
    // By the label, name and number, in small letters.
    std::unordered_map<std::string, MadeLabel> labels;
    // The labels reported on: each once, where it clashes first.
    std::unordered_set<std::string> reported;
};

std::vector<ComparedSource> g_sources;

// An include names a file as the include finder finds it.
std::string included_path(const std::string& includer, const std::string& name) {
    char found[INCLUDE_PATH_SIZE];
    return find_included_file(includer.c_str(), name.data(), name.size(), found) ? std::string(found) : name;
}

// The first source that reaches the same file as path, or -1. A file named
// twice counts once.
int source_of(const std::string& path) {
    for (std::size_t i = 0; i < g_sources.size(); ++i) {
        if (platform::same_regular_file(path.c_str(), g_sources[i].name.c_str())) return static_cast<int>(i);
    }
    return -1;
}

// The sources in the order the assembler meets them when it assembles root.
void visit(std::size_t source, const std::vector<std::vector<std::size_t>>& includes, std::vector<bool>* seen,
           std::vector<std::size_t>* order) {
    if ((*seen)[source]) return;
    (*seen)[source] = true;
    order->push_back(source);
    for (const std::size_t included : includes[source]) visit(included, includes, seen, order);
}

void report_clashes(const ComparedSource& earlier, ComparedSource* later) {
    report_begin_file(later->name.c_str(), later->order);
    for (const auto& [key, label] : later->labels) {
        const auto found = earlier.labels.find(key);
        if (found == earlier.labels.end() || !(label.defined || found->second.defined)) continue;
        if (!later->reported.insert(key).second) continue;
        report_hazard(label.line, label.column, "name-clash", switch_names(F_LOCAL_LABELS), " makes ", label_prefix(),
                      label.spelling, " ", label.spelling, "_", LabelNumber{label.number}, ", as ", earlier.name,
                      " does at line ", found->second.line);
    }
}

}  // namespace

void compare_sources() {
    g_compares_sources = true;
}

void begin_compared_source(const char* name, std::uint32_t order) {
    g_sources.push_back({name, order, {}, {}, {}});
}

void note_made_label(const char* name, std::uint32_t length, std::uint32_t column, bool defines) {
    std::uint32_t looked_at = 0;
    const auto number = static_cast<std::uint64_t>(lookup_local_label(name, &looked_at));
    std::string key(name, length);
    for (char& c : key) c = ascii_lower(c);
    key += '_' + std::to_string(number);
    const auto [entry, added] = g_sources.back().labels.try_emplace(
        std::move(key), MadeLabel{{name, length}, number, g_line_number, column, defines});
    if (!added) entry->second.defined = entry->second.defined || defines;
}

void note_include_line(const char* line, std::uint32_t length) {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    if (find_include_name(line, length, &start, &end))
        g_sources.back().includes.emplace_back(line + start, end - start);
}

void report_name_clashes() {
    const std::size_t count = g_sources.size();
    std::vector<int> first_naming(count);
    std::vector<std::vector<std::size_t>> includes(count);
    for (std::size_t i = 0; i < count; ++i) {
        first_naming[i] = source_of(g_sources[i].name);
        if (first_naming[i] != static_cast<int>(i)) continue;
        for (const std::string& name : g_sources[i].includes) {
            const int included = source_of(included_path(g_sources[i].name, name));
            if (included >= 0) includes[i].push_back(static_cast<std::size_t>(included));
        }
    }
    std::set<std::pair<std::size_t, std::size_t>> compared;
    for (std::size_t root = 0; root < count; ++root) {
        if (includes[root].empty()) continue;
        std::vector<bool> seen(count);
        std::vector<std::size_t> order;
        visit(root, includes, &seen, &order);
        for (std::size_t a = 0; a < order.size(); ++a) {
            for (std::size_t b = a + 1; b < order.size(); ++b) {
                const std::pair<std::size_t, std::size_t> pair{std::min(order[a], order[b]),
                                                               std::max(order[a], order[b])};
                if (compared.insert(pair).second) report_clashes(g_sources[order[a]], &g_sources[order[b]]);
            }
        }
    }
}

}  // namespace keston::check
