#include "check/scope_join.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

// A line that opens a label scope for -l: the only lines that joining
// indents. Lines are counted from 0 here.
struct Opener {
    std::size_t start;  // where it begins in the source's bytes
    std::uint32_t line;
    std::uint16_t label;  // the length of a plain label's name and colons at its start; 0 for none
    bool in_comment;      // lies in a COMMENT block
};

// A local name of the code part, held small, as a source may hold millions:
// the name is an index into the survey's spellings.
struct NameAt {
    std::uint32_t name : 31;
    std::uint32_t defines : 1;
    std::uint32_t line;
    std::uint32_t scope;       // the label scope of its line, counted from the file's start
    std::uint32_t block : 30;  // changes at each procedure's first and last line
    std::uint32_t in_procedure : 1;
    std::uint32_t split : 1;  // a use that the scope before its own defines
};

// A use that its scope leaves undefined, and the definition in its
// procedure that joining would bind it to.
struct Join {
    std::uint32_t name;  // an index into the survey's spellings
    std::uint32_t use;
    std::uint32_t definition;
    // The lines between them that open scopes, to be indented: a run of the survey's openers.
    std::uint32_t first_opener;
    std::uint32_t opener_count;
    bool split;  // the scope before the use defines it: a scope-split report, not an undefined-name one
};

// No table of every line is kept. A first pass finds the procedure blocks
// that hold a use a join could start from, which most sources have none of;
// the second keeps, of the scopes that reach into those blocks, what a join
// can need: the lines that open them and their names.
struct Survey {
    bool first_pass = true;
    std::vector<std::uint32_t> start_blocks;  // from the first pass, in order
    std::vector<Opener> openers;              // in the order of the text
    // The definitions, and the first use of each name that its scope leaves
    // undefined where that use lies in a procedure; in the order of the text.
    // A deque grows without moving them.
    std::deque<NameAt> names;
    std::uint32_t line_count = 0;
    std::uint32_t scope_count = 0;  // of the lines that open scopes
    const SourceText* text = nullptr;
    std::vector<std::string> spellings;
    std::unordered_map<std::string, std::uint32_t> spelling_indexes;

    std::uint32_t index_of(const std::string& name) {
        const auto [found, added] = spelling_indexes.try_emplace(name, static_cast<std::uint32_t>(spellings.size()));
        if (added) spellings.push_back(name);
        return found->second;
    }
    const std::string& name_of(const NameAt& at) const { return spellings[at.name]; }
    const std::string& name_of(const Join& join) const { return spellings[join.name]; }
    std::span<const Opener> openers_of(const Join& join) const {
        return std::span<const Opener>(openers).subspan(join.first_opener, join.opener_count);
    }
    const Opener& opener(std::uint32_t line) const {
        return *std::lower_bound(openers.begin(), openers.end(), line,
                                 [](const Opener& opener, std::uint32_t at) { return opener.line < at; });
    }
    // Read again from the line, rather than held for every opener.
    std::string label_of(std::uint32_t line) const {
        const Opener& at = opener(line);
        char stored[LINE_BUFFER_SIZE];
        store_line_at(text->bytes, at.start, stored, nullptr);
        return std::string(stored, at.label);
    }
};

// The names of the scope being surveyed, until it ends and the survey keeps
// those that joining can need. Only their spellings get an index: a source
// may hold a million names that no join needs.
struct ScopeNames {
    std::vector<std::pair<NameAt, std::string>> names;
    std::unordered_set<std::string> defined;
    std::unordered_set<std::string> defined_before;  // in the scope before
    bool reaches_start_block = false;
    std::optional<Opener> opener;  // the line that opened it, if not kept yet
};

struct JoinNote {
    std::uint64_t line;
    const char* hazard;
    std::string text;
};

char g_line[LINE_BUFFER_SIZE];
LineView g_view;
std::vector<JoinNote> g_join_notes;

// The local names of the code part as -l scans them, outside quoted strings;
// a name defines itself where it begins the code part or a declaring line
// names it. at holds where the line lies.
void survey_names(const LineWords& words, NameAt at, bool* list_continues, ScopeNames* scope) {
    const std::uint32_t code_end = g_view.code_end;
    const bool declares = *list_continues || declares_names(words, code_end);
    *list_continues = declares && continues_in_next_line(g_line, code_end);
    for_each_local_name(g_line, 0, code_end, MAX_LABEL_NAME, [&](std::uint32_t start, std::uint32_t name_length) {
        if (inside_quotes(g_view, start)) return;
        std::string name(g_line + start + 2, name_length);
        at.defines = declares || start == words.first;
        if (at.defines) scope->defined.insert(name);
        scope->names.emplace_back(at, std::move(name));
    });
}

// Of a scope's uses, the first of each name that it leaves undefined is the
// only one that a join can start from, and only in a procedure: the first
// pass keeps their blocks. The second keeps those uses and the definitions
// where the scope reaches into such a block: a join binds only names
// defined in its block and weighs only the scopes it joins, each of which
// does. True where the scope does.
bool end_scope(ScopeNames* scope, Survey* survey) {
    std::unordered_set<std::string_view> first_uses;
    const auto keep = [survey](NameAt at, const std::string& name) {
        at.name = survey->index_of(name) & 0x7fffffffu;
        survey->names.push_back(at);
    };
    for (const auto& [at, name] : scope->names) {
        if (at.defines) {
            if (scope->reaches_start_block) keep(at, name);
        } else if (scope->defined.count(name) == 0 && first_uses.insert(name).second && at.in_procedure) {
            if (survey->first_pass) {
                if (survey->start_blocks.empty() || survey->start_blocks.back() != at.block) {
                    survey->start_blocks.push_back(at.block);
                }
                continue;
            }
            NameAt use = at;
            use.split = scope->defined_before.count(name) != 0;
            keep(use, name);
        }
    }
    const bool reaches = scope->reaches_start_block;
    scope->defined_before = std::move(scope->defined);
    scope->defined.clear();
    scope->names.clear();
    scope->reaches_start_block = false;
    return reaches;
}

// A line that opens a scope is kept where the scope it ends or the one it
// opens reaches into a block a join could start in: only there does a join
// look for the ends of the scopes it joins.
void open_scope(const Opener& opener, ScopeNames* scope, Survey* survey) {
    const bool keep = end_scope(scope, survey);
    if (keep && scope->opener) survey->openers.push_back(*scope->opener);
    scope->opener.reset();
    if (keep) {
        survey->openers.push_back(opener);
    } else {
        scope->opener = opener;
    }
}

// Where procedures begin and end: each first and last line of one begins a
// block, which a join may not leave.
struct ProcedureTrack {
    std::uint32_t block = 0;
    std::uint32_t depth = 0;
};

void follow_procedures(LineKind kind, ProcedureTrack* track) {
    if (kind == LineKind::procedure_start) ++track->depth;
    if (kind == LineKind::procedure_end && track->depth > 0) --track->depth;
    if (kind == LineKind::procedure_start || kind == LineKind::procedure_end) ++track->block;
}

void survey_source(const SourceText& text, Survey* survey) {
    survey->text = &text;
    start_comment_blocks();
    bool list_continues = false;
    ProcedureTrack track;
    std::uint32_t scope = 0;
    ScopeNames scope_names;
    LineReader lines(text.bytes);
    for (std::uint32_t i = 0; lines.next(); ++i) {
        const std::uint32_t length = chain_length(g_line, lines.store(g_line, nullptr));
        bool opens = false;
        bool in_comment = false;
        LineKind kind = LineKind::other;
        LineWords words{};
        if (length != 0) {
            words = find_words(g_line, length);
            opens = opens_label_scope(g_line);
            in_comment = in_comment_block(g_line, length, words.first);
            if (!in_comment) {
                view_line(g_line, length, (g_switches & F_CPP_COMMENTS) != 0, &g_view);
                kind = classify_line(g_line, words.first, g_view.code_end);
            }
        }
        if (opens) {
            ++scope;
            const auto label = kind == LineKind::plain_label ? plain_label_length(g_line) : 0;
            open_scope({lines.start(), i, static_cast<std::uint16_t>(label), in_comment}, &scope_names, survey);
        }
        follow_procedures(kind, &track);
        const std::uint32_t block = track.block & 0x3fffffffu;  // as NameAt holds it
        scope_names.reaches_start_block |=
            !survey->first_pass && std::binary_search(survey->start_blocks.begin(), survey->start_blocks.end(), block);
        if (length == 0 || in_comment) {
            list_continues = false;
            continue;
        }
        NameAt at{};
        at.line = i;
        at.scope = scope;
        at.block = block;
        at.in_procedure = track.depth > 0;
        survey_names(words, at, &list_continues, &scope_names);
    }
    if (end_scope(&scope_names, survey) && scope_names.opener) survey->openers.push_back(*scope_names.opener);
    survey->line_count = static_cast<std::uint32_t>(lines.number());
    survey->scope_count = scope;
}

// The definition nearest to the use, in scopes, within the use's procedure;
// of two as near, the one before.
const NameAt* nearest_definition(const std::vector<const NameAt*>& definitions, const NameAt& use) {
    const auto within = [&](const NameAt* definition) {
        return definition->in_procedure && definition->block == use.block;
    };
    const auto after = std::lower_bound(definitions.begin(), definitions.end(), use.line,
                                        [](const NameAt* at, std::uint32_t line) { return at->line < line; });
    const NameAt* found = nullptr;
    if (after != definitions.begin() && within(*(after - 1))) found = *(after - 1);
    if (after != definitions.end() && within(*after) &&
        (found == nullptr || (*after)->scope - use.scope < use.scope - found->scope)) {
        found = *after;
    }
    return found;
}

std::vector<Join> find_joins(const Survey& survey) {
    std::unordered_map<std::uint32_t, std::vector<const NameAt*>> definitions;
    for (const NameAt& at : survey.names) {
        if (at.defines) definitions[at.name].push_back(&at);
    }
    std::vector<Join> joins;
    joins.reserve(static_cast<std::size_t>(
        std::count_if(survey.names.begin(), survey.names.end(), [](const NameAt& at) { return !at.defines; })));
    for (const NameAt& at : survey.names) {
        if (at.defines) continue;
        const auto found = definitions.find(at.name);
        if (found == definitions.end()) continue;
        const NameAt* definition = nearest_definition(found->second, at);
        if (definition == nullptr) continue;
        const auto line_of = [](const Opener& opener) { return opener.line; };
        const auto first =
            std::ranges::lower_bound(survey.openers, std::min(at.line, definition->line) + 1, std::less<>{}, line_of);
        const auto end =
            std::ranges::upper_bound(survey.openers, std::max(at.line, definition->line), std::less<>{}, line_of);
        joins.push_back({at.name, at.line, definition->line, static_cast<std::uint32_t>(first - survey.openers.begin()),
                         static_cast<std::uint32_t>(end - first), at.split != 0});
    }
    return joins;
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
    for (const Opener& opener : survey.openers_of(join)) {
        if (!opener.in_comment && opener.label != 0) continue;
        add_note(opener.line, join, "not indented: this line %s, so %s stays split",
                 opener.in_comment ? "lies in a COMMENT block" : "is no plain label",
                 prefixed(survey.name_of(join)).c_str());
        return true;
    }
    return false;
}

std::optional<std::uint32_t> first_new_line(const Survey& survey, const Join& join, const std::vector<bool>& indented) {
    for (const Opener& opener : survey.openers_of(join)) {
        if (!indented[opener.line]) return opener.line;
    }
    return std::nullopt;
}

// A name that two scopes define which the join merges with those merged
// before (indented holds the join's lines), with a note; false where there is none.
bool note_double_definition(const Survey& survey, const Join& join, const std::vector<bool>& indented,
                            std::uint32_t new_line) {
    // The joined scope reaches from the last scope that opens, not indented,
    // at or before its first line up to the next one behind its last.
    const auto& openers = survey.openers;
    const auto opener_after = [&](std::uint32_t line) {
        return std::upper_bound(openers.begin(), openers.end(), line,
                                [](std::uint32_t at, const Opener& opener) { return at < opener.line; });
    };
    std::uint32_t start = 0;
    for (auto opener = opener_after(std::min(join.use, join.definition)); opener != openers.begin();) {
        if (!indented[(--opener)->line]) {
            start = opener->line;
            break;
        }
    }
    std::uint32_t end = survey.line_count;
    for (auto opener = opener_after(std::max(join.use, join.definition)); opener != openers.end(); ++opener) {
        if (!indented[opener->line]) {
            end = opener->line;
            break;
        }
    }
    std::unordered_map<std::uint32_t, const NameAt*> first;  // each name's first definition
    const auto from = std::lower_bound(survey.names.begin(), survey.names.end(), start,
                                       [](const NameAt& at, std::uint32_t line) { return at.line < line; });
    for (auto at = from; at != survey.names.end() && at->line < end; ++at) {
        if (!at->defines) continue;
        const auto [before, added] = first.try_emplace(at->name, &*at);
        if (added || before->second->scope == at->scope) continue;
        add_note(new_line, join,
                 "%s is not indented: the joined scope would define %s twice, at lines %u and %u, so %s stays split",
                 survey.label_of(new_line).c_str(), prefixed(survey.name_of(*at)).c_str(), before->second->line + 1,
                 at->line + 1, prefixed(survey.name_of(join)).c_str());
        return true;
    }
    return false;
}

// Where a TAB goes in front of each indented line, every one of which
// opens a scope.
std::vector<std::size_t> tab_offsets(const Survey& survey, const std::vector<bool>& indented) {
    std::vector<std::size_t> offsets;
    for (const Opener& opener : survey.openers) {
        if (indented[opener.line]) offsets.push_back(opener.start);
    }
    return offsets;
}

// In place, as the source may be large: the bytes move back from the end,
// each run by the count of TABs put in before it.
void indent_lines(const Survey& survey, const std::vector<bool>& indented, std::string* bytes) {
    const std::vector<std::size_t> offsets = tab_offsets(survey, indented);
    std::size_t end = bytes->size();
    bytes->resize(end + offsets.size());
    for (std::size_t tabs = offsets.size(); tabs > 0; --tabs) {
        const std::size_t start = offsets[tabs - 1];
        std::memmove(bytes->data() + start + tabs, bytes->data() + start, end - start);
        (*bytes)[start + tabs - 1] = '\t';
        end = start;
    }
}

// The names of the planned joins whose lines are all indented.
std::unordered_set<std::string> joined_names(const Survey& survey, const std::vector<const Join*>& planned,
                                             const std::vector<bool>& indented) {
    std::unordered_set<std::string> names;
    for (const Join* join : planned) {
        if (!first_new_line(survey, *join, indented)) names.insert(survey.name_of(*join));
    }
    return names;
}

// Where joining all the planned joins at once changes keston's output in
// more than it may, each is kept where joining it with those kept before it
// changes nothing more, and refused where it does. Rather than a try for
// each join, the first that changes the output, behind a run of joins that
// do not, is found by halving: a few tries for each join refused.
std::vector<const Join*> refuse_changing_joins(const SourceText& text, const Survey& survey,
                                               const std::vector<const Join*>& planned, std::vector<bool>* indented) {
    ChainOutput original;
    run_chain(text, survey.line_count, &original);
    std::vector<const Join*> kept;
    // The lines of the kept joins and of planned[next..end) indented.
    const auto indent = [&](std::size_t next, std::size_t end) {
        indented->assign(indented->size(), false);
        for (const Join* join : kept) {
            for (const Opener& opener : survey.openers_of(*join)) (*indented)[opener.line] = true;
        }
        for (std::size_t i = next; i < end; ++i) {
            for (const Opener& opener : survey.openers_of(*planned[i])) (*indented)[opener.line] = true;
        }
    };
    const auto difference_with = [&](std::size_t next, std::size_t end) {
        indent(next, end);
        return find_output_difference(text, tab_offsets(survey, *indented), original, *indented,
                                      joined_names(survey, planned, *indented));
    };
    for (std::size_t next = 0; next < planned.size();) {
        std::uint64_t difference = difference_with(next, planned.size());
        std::size_t good = next;  // the kept joins and planned[next..good) change nothing more
        std::size_t bad = planned.size();
        while (difference != 0 && bad - good > 1) {
            const std::size_t middle = good + (bad - good) / 2;
            if (const std::uint64_t found = difference_with(next, middle); found != 0) {
                bad = middle;
                difference = found;
            } else {
                good = middle;
            }
        }
        if (difference == 0) good = bad;
        kept.insert(kept.end(), planned.begin() + static_cast<std::ptrdiff_t>(next),
                    planned.begin() + static_cast<std::ptrdiff_t>(good));
        next = bad;
        if (good == bad) continue;
        const Join& refused = *planned[good];
        indent(0, 0);
        const std::uint32_t line =
            first_new_line(survey, refused, *indented).value_or(survey.openers_of(refused).front().line);
        add_note(line, refused,
                 "%s is not indented: keston's output would then differ at line %" PRIu64
                 " in more than the TAB and the joined names' numbers, so %s stays split",
                 survey.label_of(line).c_str(), difference, prefixed(survey.name_of(refused)).c_str());
    }
    indent(0, 0);
    return kept;
}

}  // namespace

bool join_split_scopes(SourceText* text) {
    g_join_notes.clear();
    Survey survey;
    survey_source(*text, &survey);
    if (survey.start_blocks.empty()) return false;
    survey.first_pass = false;
    // Room for every line that opens a scope, so that the list never moves,
    // and with it twice its size, while it grows: room not written to takes
    // no memory.
    survey.openers.reserve(survey.scope_count);
    survey_source(*text, &survey);
    std::vector<bool> indented(survey.line_count, false);
    std::vector<const Join*> planned;
    const std::vector<Join> joins = find_joins(survey);
    std::vector<std::uint32_t> new_lines;  // of the join being planned
    for (const Join& join : joins) {
        new_lines.clear();
        for (const Opener& opener : survey.openers_of(join)) {
            if (!indented[opener.line]) new_lines.push_back(opener.line);
            indented[opener.line] = true;
        }
        if (!new_lines.empty() &&
            (note_blocking_line(survey, join) || note_double_definition(survey, join, indented, new_lines.front()))) {
            for (const std::uint32_t line : new_lines) indented[line] = false;
            continue;
        }
        planned.push_back(&join);
    }
    if (planned.empty()) return false;
    // The names are done with: their room goes before keston's output is compared.
    std::deque<NameAt>().swap(survey.names);
    std::vector<bool> noted(indented.size(), false);
    for (const Join* join : refuse_changing_joins(*text, survey, planned, &indented)) {
        for (const Opener& opener : survey.openers_of(*join)) {
            if (noted[opener.line]) continue;
            noted[opener.line] = true;
            add_note(opener.line, *join, "indented %s so that %s is one scope", survey.label_of(opener.line).c_str(),
                     prefixed(survey.name_of(*join)).c_str());
        }
    }
    if (std::find(indented.begin(), indented.end(), true) == indented.end()) return false;
    indent_lines(survey, indented, &text->bytes);
    return true;
}

void report_scope_joins() {
    for (const JoinNote& note : g_join_notes) report_note(note.line, 1, note.hazard, note.text);
}

}  // namespace keston::check
