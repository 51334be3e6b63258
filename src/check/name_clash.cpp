#include "check/name_clash.h"

#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
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

// The first source that reaches each file: a file named twice counts once.
std::map<platform::RegularFileKey, std::size_t> g_first_source_of;

// The first source that reaches the same file as path, or -1.
int source_of(const std::string& path) {
    platform::RegularFileKey key{};
    if (!platform::regular_file_key(path.c_str(), &key)) return -1;
    const auto found = g_first_source_of.find(key);
    return found == g_first_source_of.end() ? -1 : static_cast<int>(found->second);
}

// The sources in the order the assembler meets them when it assembles root:
// each at its first include, depth first. visited holds the root of the
// walk that met a source last.
std::vector<std::size_t> walk_from(std::size_t root, const std::vector<std::vector<std::size_t>>& includes,
                                   std::vector<std::size_t>* visited) {
    std::vector<std::size_t> order;
    std::vector<std::size_t> pending{root};
    while (!pending.empty()) {
        const std::size_t source = pending.back();
        pending.pop_back();
        if ((*visited)[source] == root) continue;
        (*visited)[source] = root;
        order.push_back(source);
        pending.insert(pending.end(), includes[source].rbegin(), includes[source].rend());
    }
    return order;
}

void report_clash(const ComparedSource& earlier, const MadeLabel& earlier_label, ComparedSource* later,
                  const std::string& key, const MadeLabel& label) {
    if (!later->reported.insert(key).second) return;
    report_begin_file(later->name.c_str(), later->order);
    report_hazard(label.line, label.column, "name-clash", switch_names(F_LOCAL_LABELS), " makes ", label_prefix(),
                  label.spelling, " ", label.spelling, "_", LabelNumber{label.number}, ", as ", earlier.name,
                  " does at line ", earlier_label.line);
}

// Whether two sources were met together in a walk before: sorted lists of the walks' roots.
bool met_before(const std::vector<std::size_t>& roots_of_one, const std::vector<std::size_t>& roots_of_other) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < roots_of_one.size() && j < roots_of_other.size()) {
        if (roots_of_one[i] == roots_of_other[j]) return true;
        if (roots_of_one[i] < roots_of_other[j]) {
            ++i;
        } else {
            ++j;
        }
    }
    return false;
}

// One walk's sources compared, each with those the assembler meets before
// it: a label clashes with the first of them that makes it where either
// defines it. Pairs of sources that an earlier walk met together were
// compared then. roots_of holds the roots of the walks before that met each.
class WalkComparison {
   public:
    WalkComparison(const std::vector<std::size_t>& order, const std::vector<std::vector<std::size_t>>& roots_of)
        : order_(order), roots_of_(roots_of) {}

    void compare() {
        for (std::size_t at = 0; at < order_.size(); ++at) {
            ComparedSource& later = g_sources[order_[at]];
            const bool met_in_an_earlier_walk = !roots_of_[order_[at]].empty();
            for (const auto& [key, label] : later.labels) {
                if (met_in_an_earlier_walk) {
                    compare_with_unmet(at, key, label, &later);
                } else {
                    compare_with_first(key, label, &later);
                }
            }
            for (const auto& [key, label] : later.labels) {
                first_making_.try_emplace(key, order_[at]);
                if (label.defined) first_defining_.try_emplace(key, order_[at]);
            }
        }
    }

   private:
    // A source no earlier walk met: the first source before it decides.
    void compare_with_first(const std::string& key, const MadeLabel& label, ComparedSource* later) {
        const auto& first = label.defined ? first_making_ : first_defining_;
        const auto found = first.find(key);
        if (found == first.end()) return;
        const ComparedSource& earlier = g_sources[found->second];
        report_clash(earlier, earlier.labels.at(key), later, key, label);
    }

    // A source an earlier walk met: only the sources it was not met with then.
    void compare_with_unmet(std::size_t at, const std::string& key, const MadeLabel& label, ComparedSource* later) {
        for (std::size_t before = 0; before < at; ++before) {
            const ComparedSource& earlier = g_sources[order_[before]];
            const auto found = earlier.labels.find(key);
            if (found == earlier.labels.end() || !(label.defined || found->second.defined) ||
                met_before(roots_of_[order_[before]], roots_of_[order_[at]])) {
                continue;
            }
            report_clash(earlier, found->second, later, key, label);
            return;
        }
    }

    const std::vector<std::size_t>& order_;
    const std::vector<std::vector<std::size_t>>& roots_of_;
    std::unordered_map<std::string_view, std::size_t> first_making_;
    std::unordered_map<std::string_view, std::size_t> first_defining_;
};

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
    for (std::size_t i = count; i-- > 0;) {
        platform::RegularFileKey key{};
        if (platform::regular_file_key(g_sources[i].name.c_str(), &key)) g_first_source_of[key] = i;
    }
    std::vector<std::vector<std::size_t>> includes(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (source_of(g_sources[i].name) != static_cast<int>(i)) continue;
        for (const std::string& name : g_sources[i].includes) {
            const int included = source_of(included_path(g_sources[i].name, name));
            if (included >= 0) includes[i].push_back(static_cast<std::size_t>(included));
        }
    }
    // A root that an earlier walk met holds no pair that walk did not compare.
    std::vector<std::vector<std::size_t>> roots_of(count);
    std::vector<std::size_t> visited(count, count);
    for (std::size_t root = 0; root < count; ++root) {
        if (includes[root].empty() || !roots_of[root].empty()) continue;
        const std::vector<std::size_t> order = walk_from(root, includes, &visited);
        WalkComparison(order, roots_of).compare();
        for (const std::size_t source : order) roots_of[source].push_back(root);
    }
}

}  // namespace keston::check
