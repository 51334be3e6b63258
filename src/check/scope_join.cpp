#include "check/scope_join.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "check/comment_block.h"
#include "check/line_view.h"
#include "check/name_syntax.h"
#include "check/output_compare.h"
#include "check/plain_label.h"
#include "check/report.h"
#include "common/byte_scan.h"
#include "common/globals.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

// One source line as joining sees it. Lines are counted from 0 here.
struct LineFacts {
    std::uint32_t scope = 0;  // the label scope it lies in, counted from the file's start
    std::uint32_t block = 0;  // changes at each procedure's first and last line
    std::uint16_t label = 0;  // the length of a plain label's name and colons at its start; 0 for none
    bool opens = false;       // opens a label scope for -l
    bool in_comment = false;  // lies in a COMMENT block
    bool in_procedure = false;
};

// Held small, as a source may hold millions: the name is an index into the
// survey's spellings.
struct NameAt {
    std::uint32_t name;
    std::uint32_t line;
    bool defines;
};

struct Survey {
    std::vector<LineFacts> lines;
    std::deque<NameAt> names;         // in the order of the text; grows without moving them
    const SourceText* text = nullptr;
    std::vector<std::string> spellings;
    std::unordered_map<std::string, std::uint32_t> spelling_indexes;

    std::uint32_t index_of(const std::string& name) {
        const auto [found, added] = spelling_indexes.try_emplace(name, static_cast<std::uint32_t>(spellings.size()));
        if (added) spellings.push_back(name);
        return found->second;
    }
    const std::string& name_of(const NameAt& at) const { return spellings[at.name]; }
    // Read again from the line, rather than held for every line.
    std::string label_of(std::uint32_t line) const {
        char stored[LINE_BUFFER_SIZE];
        store_line(*text, line, stored, nullptr);
        return std::string(stored, lines[line].label);
    }
};

// A name in a scope, as one key.
std::uint64_t scoped(std::uint32_t scope, std::uint32_t name) {
    return (std::uint64_t{scope} << 32) | name;
}

// A use that its scope leaves undefined, and the definition in its
// procedure that joining would bind it to.
struct Join {
    std::string name;
    std::uint32_t use;
    std::uint32_t definition;
    bool split;  // the scope before the use defines it: a scope-split report, not an undefined-name one
    std::vector<std::uint32_t> openers;  // the lines between them that open scopes, to be indented
};

struct JoinNote {
    std::uint64_t line;
    const char* hazard;
    std::string text;
};

char g_line[LINE_BUFFER_SIZE];
LineView g_view;
std::vector<JoinNote> g_join_notes;

bool inside_quotes(const LineView& view, std::uint32_t at) {
    for (std::uint32_t i = 0; i < view.literal_count && view.literals[i].start <= at; ++i) {
        if (at < view.literals[i].end) return view.literals[i].opener != '<';
    }
    return false;
}

// The local names of the code part as -l scans them, outside quoted strings;
// a name defines itself where it begins the code part or a declaring line
// names it.
void survey_names(const LineWords& words, std::uint32_t index, bool* list_continues, Survey* survey) {
    const std::uint32_t code_end = g_view.code_end;
    const bool declares = *list_continues || declares_names(words, code_end);
    *list_continues = declares && continues_in_next_line(g_line, code_end);
    for_each_local_name(g_line, 0, code_end, MAX_LABEL_NAME, [&](std::uint32_t at, std::uint32_t name_length) {
        if (!inside_quotes(g_view, at)) {
            survey->names.push_back(
                {survey->index_of(std::string(g_line + at + 2, name_length)), index, declares || at == words.first});
        }
    });
}

// Where procedures begin and end: each first and last line of one begins a
// block, which a join may not leave.
struct ProcedureTrack {
    std::uint32_t block = 0;
    std::uint32_t depth = 0;
};

void follow_procedures(LineKind kind, ProcedureTrack* track, LineFacts* facts) {
    if (kind == LineKind::procedure_start) ++track->depth;
    if (kind == LineKind::procedure_end && track->depth > 0) --track->depth;
    if (kind == LineKind::procedure_start || kind == LineKind::procedure_end) ++track->block;
    facts->block = track->block;
    facts->in_procedure = track->depth > 0;
}

void survey_source(const SourceText& text, Survey* survey) {
    survey->text = &text;
    start_comment_blocks();
    bool list_continues = false;
    ProcedureTrack track;
    std::uint32_t scope = 0;
    survey->lines.reserve(text.starts.size());
    for (std::uint32_t i = 0; i < text.starts.size(); ++i) {
        const std::uint32_t length = chain_length(g_line, store_line(text, i, g_line, nullptr));
        LineFacts& facts = survey->lines.emplace_back();
        LineKind kind = LineKind::other;
        if (length != 0) {
            const LineWords words = find_words(g_line, length);
            facts.opens = opens_label_scope(g_line);
            facts.in_comment = in_comment_block(g_line, length, words.first);
            if (!facts.in_comment) {
                view_line(g_line, length, (g_switches & F_CPP_COMMENTS) != 0, &g_view);
                kind = classify_line(g_line, words.first, g_view.code_end);
                survey_names(words, i, &list_continues, survey);
            }
        }
        if (length == 0 || facts.in_comment) list_continues = false;
        if (kind == LineKind::plain_label) facts.label = static_cast<std::uint16_t>(plain_label_length(g_line));
        scope += facts.opens ? 1 : 0;
        facts.scope = scope;
        follow_procedures(kind, &track, &facts);
    }
}

// The definition nearest to the use, in scopes, within the use's procedure;
// of two as near, the one before.
std::optional<std::uint32_t> nearest_definition(const Survey& survey, const std::vector<std::uint32_t>& definitions,
                                                std::uint32_t use) {
    const auto& lines = survey.lines;
    const auto within = [&](std::uint32_t line) {
        return lines[use].in_procedure && lines[line].block == lines[use].block;
    };
    const auto after = std::lower_bound(definitions.begin(), definitions.end(), use);
    std::optional<std::uint32_t> found;
    if (after != definitions.begin() && within(*(after - 1))) found = *(after - 1);
    if (after != definitions.end() && within(*after) &&
        (!found || lines[*after].scope - lines[use].scope < lines[use].scope - lines[*found].scope)) {
        found = *after;
    }
    return found;
}

std::vector<Join> find_joins(const Survey& survey) {
    std::vector<std::uint64_t> defined;  // sorted, which takes a fraction of a hash set's room
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> definitions;
    for (const NameAt& at : survey.names) {
        if (!at.defines) continue;
        defined.push_back(scoped(survey.lines[at.line].scope, at.name));
        definitions[at.name].push_back(at.line);
    }
    std::sort(defined.begin(), defined.end());
    const auto is_defined = [&](std::uint32_t scope, std::uint32_t name) {
        return std::binary_search(defined.begin(), defined.end(), scoped(scope, name));
    };
    std::unordered_set<std::uint64_t> seen;
    std::vector<Join> joins;
    for (const NameAt& at : survey.names) {
        const std::uint32_t scope = survey.lines[at.line].scope;
        if (at.defines || is_defined(scope, at.name) || !seen.insert(scoped(scope, at.name)).second) continue;
        const auto found = definitions.find(at.name);
        if (found == definitions.end()) continue;
        const std::optional<std::uint32_t> definition = nearest_definition(survey, found->second, at.line);
        if (!definition) continue;
        Join join{survey.name_of(at), at.line, *definition, is_defined(scope - 1, at.name), {}};
        for (std::uint32_t line = std::min(at.line, *definition) + 1; line <= std::max(at.line, *definition); ++line) {
            if (survey.lines[line].opens) join.openers.push_back(line);
        }
        joins.push_back(std::move(join));
    }
    return joins;
}

std::string prefixed(const std::string& name) {
    return std::string(g_label_prefix, 2) + name;
}

[[gnu::format(printf, 3, 4)]] void add_note(std::uint32_t line, const Join& join, const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    g_join_notes.push_back({line + std::uint64_t{1}, join.split ? "scope-split" : "undefined-name", text});
}

// The first line between the join's ends that may not be indented, with a note on why; false where there is none.
bool note_blocking_line(const Survey& survey, const Join& join) {
    for (const std::uint32_t line : join.openers) {
        const LineFacts& facts = survey.lines[line];
        if (!facts.in_comment && facts.label != 0) continue;
        add_note(line, join, "not indented: this line %s, so %s stays split",
                 facts.in_comment ? "lies in a COMMENT block" : "is no plain label", prefixed(join.name).c_str());
        return true;
    }
    return false;
}

std::optional<std::uint32_t> first_new_line(const Join& join, const std::vector<bool>& indented) {
    for (const std::uint32_t line : join.openers) {
        if (!indented[line]) return line;
    }
    return std::nullopt;
}

// A name that two scopes define which the join merges with those merged
// before (indented holds the join's lines), with a note; false where there is none.
bool note_double_definition(const Survey& survey, const Join& join, const std::vector<bool>& indented,
                            std::uint32_t new_line) {
    const auto& lines = survey.lines;
    const auto opens = [&](std::uint32_t line) { return lines[line].opens && !indented[line]; };
    std::uint32_t start = std::min(join.use, join.definition);
    while (start > 0 && !opens(start)) --start;
    std::uint32_t end = std::max(join.use, join.definition) + 1;
    while (end < lines.size() && !opens(end)) ++end;
    std::unordered_map<std::uint32_t, std::uint32_t> first;  // the line of each name's first definition
    const auto from = std::lower_bound(survey.names.begin(), survey.names.end(), start,
                                       [](const NameAt& at, std::uint32_t line) { return at.line < line; });
    for (auto at = from; at != survey.names.end() && at->line < end; ++at) {
        if (!at->defines) continue;
        const auto [before, added] = first.try_emplace(at->name, at->line);
        if (added || lines[before->second].scope == lines[at->line].scope) continue;
        add_note(new_line, join,
                 "%s is not indented: the joined scope would define %s twice, at lines %u and %u, so %s stays split",
                 survey.label_of(new_line).c_str(), prefixed(survey.name_of(*at)).c_str(), before->second + 1,
                 at->line + 1, prefixed(join.name).c_str());
        return true;
    }
    return false;
}

std::string indent_lines(const SourceText& text, const std::vector<bool>& indented) {
    std::string result;
    result.reserve(text.bytes.size() + text.starts.size());
    std::size_t copied = 0;
    for (std::size_t i = 0; i < text.starts.size(); ++i) {
        if (!indented[i]) continue;
        result.append(text.bytes, copied, text.starts[i] - copied);
        result += '\t';
        copied = text.starts[i];
    }
    result.append(text.bytes, copied);
    return result;
}

// Where keston's output of the text with the lines indented differs from
// that of the text as it is in more than joining allows; 0 where nowhere.
std::uint64_t find_difference(const SourceText& text, const ChainOutput& original, const std::vector<bool>& indented,
                              const std::unordered_set<std::string>& names) {
    SourceText joined;
    joined.bytes = indent_lines(text, indented);
    split_lines(&joined);
    ChainOutput output;
    run_chain(joined, &output);
    return find_output_difference(original, output, indented, names);
}

// The names of the planned joins whose lines are all indented.
std::unordered_set<std::string> joined_names(const std::vector<const Join*>& planned,
                                             const std::vector<bool>& indented) {
    std::unordered_set<std::string> names;
    for (const Join* join : planned) {
        if (!first_new_line(*join, indented)) names.insert(join->name);
    }
    return names;
}

// Where joining all at once changes keston's output in more than it may,
// the joins are tried one at a time, and those that change it are refused.
std::vector<const Join*> join_one_by_one(const SourceText& text, const Survey& survey,
                                         const std::vector<const Join*>& planned, std::vector<bool>* indented) {
    ChainOutput original;
    run_chain(text, &original);
    if (find_difference(text, original, *indented, joined_names(planned, *indented)) == 0) return planned;
    indented->assign(indented->size(), false);
    std::vector<const Join*> joined;
    for (const Join* join : planned) {
        const std::optional<std::uint32_t> new_line = first_new_line(*join, *indented);
        std::vector<bool> trial = *indented;
        for (const std::uint32_t line : join->openers) trial[line] = true;
        if (new_line) {
            const std::uint64_t difference = find_difference(text, original, trial, joined_names(planned, trial));
            if (difference != 0) {
                add_note(*new_line, *join,
                         "%s is not indented: keston's output would then differ at line %" PRIu64
                         " in more than the TAB and the joined names' numbers, so %s stays split",
                         survey.label_of(*new_line).c_str(), difference, prefixed(join->name).c_str());
                continue;
            }
        }
        *indented = std::move(trial);
        joined.push_back(join);
    }
    return joined;
}

}  // namespace

bool join_split_scopes(SourceText* text) {
    g_join_notes.clear();
    Survey survey;
    survey_source(*text, &survey);
    std::vector<bool> indented(survey.lines.size(), false);
    std::vector<const Join*> planned;
    const std::vector<Join> joins = find_joins(survey);
    for (const Join& join : joins) {
        const std::optional<std::uint32_t> new_line = first_new_line(join, indented);
        std::vector<bool> trial = indented;
        for (const std::uint32_t line : join.openers) trial[line] = true;
        if (new_line && (note_blocking_line(survey, join) || note_double_definition(survey, join, trial, *new_line)))
            continue;
        indented = std::move(trial);
        planned.push_back(&join);
    }
    if (planned.empty()) return false;
    std::vector<bool> noted(indented.size(), false);
    for (const Join* join : join_one_by_one(*text, survey, planned, &indented)) {
        for (const std::uint32_t line : join->openers) {
            if (noted[line]) continue;
            noted[line] = true;
            add_note(line, *join, "indented %s so that %s is one scope", survey.label_of(line).c_str(),
                     prefixed(join->name).c_str());
        }
    }
    if (std::find(indented.begin(), indented.end(), true) == indented.end()) return false;
    text->bytes = indent_lines(*text, indented);
    split_lines(text);
    return true;
}

void report_scope_joins() {
    for (const JoinNote& note : g_join_notes) report_note(note.line, 1, note.hazard, note.text);
}

}  // namespace keston::check
