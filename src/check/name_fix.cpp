#include "check/name_fix.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "check/line_view.h"
#include "check/name_syntax.h"
#include "check/report.h"
#include "check/scope_join.h"
#include "check/source_rewrites.h"
#include "check/source_text.h"
#include "common/byte_scan.h"
#include "common/globals.h"
#include "stream/text_stream.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

// The letters in the order they are tried.
constexpr std::string_view LETTER_ORDER = "nopqrstuvwxyzabcdefghijklm";

// One local name where -l meets it, held small, since a source may hold
// millions: its spellings are indexes into the survey's names.
struct NameUse {
    std::uint64_t line;
    std::uint32_t written;   // as the source spells it
    std::uint32_t spelling;  // as it is to be spelt, without the letter
    std::uint32_t scope;     // counted from the file's start
    std::uint16_t column;    // of the prefix in the line as keston reads it, from 0
    bool defines : 1;
    bool quoted : 1;  // inside a quoted string, where it stays as it is
    bool gets_letter : 1;
};

// A deque grows without moving what it holds, so that the uses never take
// twice their room while the survey runs.
struct NameSurvey {
    std::deque<NameUse> uses;        // in the order of the text
    std::uint32_t scope_count = 0;   // of the scopes begun before the current one
    std::uint64_t scope_line = 1;    // where the current one begins
    std::vector<std::string> names;  // each spelling once
    std::unordered_map<std::string, std::uint32_t> name_indexes;

    std::uint32_t index_of(const std::string& name) {
        const auto [found, added] = name_indexes.try_emplace(name, static_cast<std::uint32_t>(names.size()));
        if (added) names.push_back(name);
        return found->second;
    }
    const std::string& written(const NameUse& use) const { return names[use.written]; }
    const std::string& spelling(const NameUse& use) const { return names[use.spelling]; }
};

// What the letter is chosen from, in small letters: the names to be
// renamed, the words that a letter and one of them could make, and the
// letters taken so far by local names and by such words.
struct LetterSurvey {
    std::unordered_set<std::string> renamed;
    std::unordered_set<std::string> words;
    std::uint32_t taken = 0;  // bit 0 for 'a'
};

// Why a name that begins with a digit or '~' keeps its spelling.
enum class Keep { nothing, no_letter, too_long, stops, related };
struct Renaming {
    Keep keep = Keep::nothing;
    std::uint64_t stop_line = 0;
    std::string related;
};
using Renamings = std::map<std::string, Renaming>;  // by spelling

struct Note {
    std::size_t use;  // the place it stands at
    const char* hazard;
    std::string text;
};

char g_letter = '\0';  // '\0': none is free
char g_line[LINE_BUFFER_SIZE];
std::size_t g_positions[LINE_BUFFER_SIZE];
LineView g_view;
std::vector<Note> g_notes;

std::string small_letters(std::string text) {
    for (char& c : text) c = ascii_lower(c);
    return text;
}

bool is_letter(char c) {
    const char lower = ascii_lower(c);
    return lower >= 'a' && lower <= 'z';
}

void take_letter(LetterSurvey* letters, char c) {
    if (is_letter(c)) letters->taken |= 1u << (ascii_lower(c) - 'a');
}

// The names of a line, as -l scans them: a prefix pair with no name behind
// it is plain text, and its second character may begin the next pair. A
// name defines itself where it begins the code part or a declaring line
// names it.
void survey_line(const char* line, std::uint32_t length, std::uint64_t number, bool* list_continues,
                 NameSurvey* survey) {
    if (length == 0) {
        *list_continues = false;
        return;
    }
    if (opens_label_scope(line)) {
        ++survey->scope_count;
        survey->scope_line = number;
    }
    const std::uint32_t scope = survey->scope_count;
    view_line(line, length, (g_switches & F_CPP_COMMENTS) != 0, &g_view);
    const std::uint32_t code_end = g_view.code_end;
    const LineWords words = find_words(line, length);
    const bool declares = *list_continues || declares_names(words, code_end);
    for_each_local_name(line, 0, length, MAX_LABEL_NAME, [&](std::uint32_t at, std::uint32_t name_length) {
        const bool quoted = inside_quotes(g_view, at);
        const std::uint32_t name = survey->index_of(std::string(line + at + 2, name_length));
        const bool defines = !quoted && at < code_end && (declares || at == words.first);
        survey->uses.push_back({number, name, name, scope, static_cast<std::uint16_t>(at), defines, quoted, false});
    });
    *list_continues = declares && continues_in_next_line(line, code_end);
}

// The words of a line that could be a new name or a name keston makes of
// one: a letter, then a digit or '~'.
void collect_words(const char* line, std::uint32_t length, LetterSurvey* letters) {
    for (std::uint32_t at = 0; at < length;) {
        std::uint32_t end = at;
        while (end < length && is_identifier_character(static_cast<unsigned char>(line[end]))) ++end;
        if (end - at >= 2 && is_letter(line[at]) && begins_no_identifier(line[at + 1])) {
            letters->words.insert(small_letters(std::string(line + at, end - at)));
        }
        at = end + 1;
    }
}

// Line by line, each line's names let go once they are counted.
void survey_letters(const SourceText& text, LetterSurvey* letters) {
    NameSurvey survey;
    bool list_continues = false;
    for (LineReader lines(text.bytes); lines.next();) {
        const std::uint32_t stored = lines.store(g_line, nullptr);
        if (stored == TS_LINE_LIMIT) return;
        const std::uint32_t length = chain_length(g_line, stored);
        survey_line(g_line, length, lines.number(), &list_continues, &survey);
        for (const NameUse& use : survey.uses) {
            const std::string& written = survey.written(use);
            take_letter(letters, written[0]);
            if (!use.quoted && begins_no_identifier(written[0])) letters->renamed.insert(small_letters(written));
        }
        // Only this line's spellings are needed: a source may hold a million.
        survey.uses.clear();
        survey.names.clear();
        survey.name_indexes.clear();
        collect_words(g_line, length, letters);
    }
}

// The word without the '_' and digits that keston puts behind a name.
std::string without_number(const std::string& word) {
    const std::size_t underscore = word.rfind('_');
    if (underscore == std::string::npos || underscore + 1 == word.size()) return word;
    const bool digits = std::all_of(word.begin() + static_cast<std::ptrdiff_t>(underscore) + 1, word.end(),
                                    [](char c) { return is_digit(static_cast<unsigned char>(c)); });
    return digits ? word.substr(0, underscore) : word;
}

[[gnu::format(printf, 3, 4)]] void add_note(std::size_t use, const char* hazard, const char* format, ...) {
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    g_notes.push_back({use, hazard, text});
}

std::size_t first_use(const NameSurvey& survey, const std::vector<std::size_t>& members, std::uint32_t written) {
    return *std::find_if(members.begin(), members.end(),
                         [&](std::size_t i) { return survey.uses[i].written == written; });
}

void add_once(std::vector<std::uint32_t>* names, std::uint32_t name) {
    if (std::find(names->begin(), names->end(), name) == names->end()) names->push_back(name);
}

// The spellings of one name in one scope, which begins at scope_line, its
// uses from first up to end.
void respell_scope_twins(NameSurvey* survey, std::size_t first, std::size_t end, std::uint64_t scope_line) {
    std::map<std::string, std::vector<std::size_t>> twins;
    for (std::size_t i = first; i < end; ++i) {
        const NameUse& use = survey->uses[i];
        if (!use.quoted) twins[small_letters(survey->written(use))].push_back(i);
    }
    for (const auto& [name, members] : twins) {
        std::vector<std::uint32_t> spellings;
        std::vector<std::uint32_t> defined;
        for (const std::size_t i : members) {
            const NameUse& use = survey->uses[i];
            add_once(&spellings, use.written);
            if (use.defines) add_once(&defined, use.written);
        }
        if (spellings.size() < 2) continue;
        if (defined.size() > 1) {
            add_note(members[0], "case-twin",
                     "%s and %s are both defined in the scope from line %" PRIu64 "; neither is respelled",
                     prefixed(survey->names[defined[0]]).c_str(), prefixed(survey->names[defined[1]]).c_str(),
                     scope_line);
            continue;
        }
        const std::uint32_t target = defined.empty() ? spellings[0] : defined[0];
        for (const std::uint32_t spelling : spellings) {
            if (spelling == target) continue;
            add_note(first_use(*survey, members, spelling), "case-twin",
                     "spelled %s as %s in the scope from line %" PRIu64, prefixed(survey->names[spelling]).c_str(),
                     prefixed(survey->names[target]).c_str(), scope_line);
        }
        for (const std::size_t i : members) survey->uses[i].spelling = target;
    }
}

// The plan reads only the uses of names that may get the letter, those
// respelt and those that a note stands at: of the uses from first up to end,
// the others go, and the notes follow their uses. The uses behind end move
// up. Where end is afterwards.
std::size_t keep_needed_uses(NameSurvey* survey, std::size_t first, std::size_t end) {
    std::unordered_map<std::size_t, std::size_t> moved;  // the new places of noted uses
    for (const Note& note : g_notes) {
        if (note.use >= first) moved.emplace(note.use, 0);
    }
    std::size_t kept = first;
    for (std::size_t i = first; i < survey->uses.size(); ++i) {
        const NameUse use = survey->uses[i];
        const auto noted = moved.find(i);
        const bool renamed = !use.quoted && begins_no_identifier(survey->spelling(use)[0]);
        if (i < end && noted == moved.end() && !renamed && use.spelling == use.written) continue;
        if (noted != moved.end()) noted->second = kept;
        if (i == end) end = kept;
        survey->uses[kept++] = use;
    }
    if (end == survey->uses.size()) end = kept;
    survey->uses.resize(kept);
    for (Note& note : g_notes) {
        if (note.use >= first) note.use = moved.find(note.use)->second;
    }
    return end;
}

// The spellings that no use holds any more go, once they are most of the
// table, so that a source of a million names, each in a scope of its own,
// does not keep them all. Clearing only once the table has doubled keeps the
// cost in proportion to the names.
void drop_unheld_spellings(NameSurvey* survey, std::size_t* held) {
    if (survey->names.size() < 2 * *held + 1024) return;
    constexpr std::uint32_t UNHELD = UINT32_MAX;
    std::vector<std::uint32_t> moved(survey->names.size(), UNHELD);
    std::vector<std::string> names;
    const auto move_name = [&](std::uint32_t* index) {
        if (moved[*index] == UNHELD) {
            moved[*index] = static_cast<std::uint32_t>(names.size());
            names.push_back(std::move(survey->names[*index]));
        }
        *index = moved[*index];
    };
    for (NameUse& use : survey->uses) {
        move_name(&use.written);
        move_name(&use.spelling);
    }
    survey->names = std::move(names);
    survey->name_indexes.clear();
    for (std::uint32_t i = 0; i < survey->names.size(); ++i) survey->name_indexes.emplace(survey->names[i], i);
    *held = survey->names.size();
}

// In each scope, the spellings of one name that differ in case take one:
// the one defined there, else the one written first; where several are
// defined, all stay. Every local name of the text is surveyed, up to a line
// too long for keston, and the uses of each scope are let go once it ends
// where the plan does not need them.
void survey_names(const SourceText& text, NameSurvey* survey) {
    bool list_continues = false;
    std::size_t scope_first = 0;     // the first use of the current scope
    std::size_t held_spellings = 0;  // after the last drop_unheld_spellings
    for (LineReader lines(text.bytes); lines.next();) {
        const std::uint32_t stored = lines.store(g_line, nullptr);
        if (stored == TS_LINE_LIMIT) break;
        const std::size_t before = survey->uses.size();
        const std::uint32_t scopes = survey->scope_count;
        const std::uint64_t scope_line = survey->scope_line;
        survey_line(g_line, chain_length(g_line, stored), lines.number(), &list_continues, survey);
        if (survey->scope_count == scopes) continue;
        if (scope_first < before) respell_scope_twins(survey, scope_first, before, scope_line);
        scope_first = keep_needed_uses(survey, scope_first, before);
        drop_unheld_spellings(survey, &held_spellings);
    }
    if (scope_first < survey->uses.size()) {
        respell_scope_twins(survey, scope_first, survey->uses.size(), survey->scope_line);
    }
    keep_needed_uses(survey, scope_first, survey->uses.size());
}

Renamings find_renamings(const NameSurvey& survey) {
    Renamings renamings;
    for (const NameUse& use : survey.uses) {
        if (!use.quoted && begins_no_identifier(survey.spelling(use)[0])) renamings.try_emplace(survey.spelling(use));
    }
    for (auto& [spelling, renaming] : renamings) {
        if (g_letter == '\0') {
            renaming.keep = Keep::no_letter;
        } else if (spelling.size() == MAX_LABEL_NAME) {
            renaming.keep = Keep::too_long;
        }
    }
    return renamings;
}

// keston gives a name the number of an earlier name that begins with it, so
// a name that keeps its spelling keeps those of the names that begin it or
// that it begins: the letter then goes to all of them or to none.
void keep_related(Renamings* renamings) {
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& [kept, reason] : *renamings) {
            if (reason.keep == Keep::nothing) continue;
            for (auto& [other, other_reason] : *renamings) {
                if (other_reason.keep != Keep::nothing || !(kept.starts_with(other) || other.starts_with(kept)))
                    continue;
                other_reason = {Keep::related, 0, kept};
                changed = true;
            }
        }
    }
}

void mark_letters(NameSurvey* survey, const Renamings& renamings) {
    for (NameUse& use : survey->uses) {
        const auto found = use.quoted ? renamings.end() : renamings.find(survey->spelling(use));
        use.gets_letter = found != renamings.end() && found->second.keep == Keep::nothing;
    }
}

bool changes_bytes(const NameUse& use) {
    return use.gets_letter || use.spelling != use.written;
}

// The source's bytes with every name respelt and lettered as planned, given
// piece by piece to take, so that they need not be held beside the source.
template <typename Take>
void rewrite(const SourceText& text, const NameSurvey& survey, Take take) {
    std::size_t copied = 0;
    // Puts byte in at, in place of the source's byte there unless inserted.
    const auto edit = [&](std::size_t at, char byte, bool inserted) {
        take(text.bytes.data() + copied, at - copied);
        take(&byte, 1);
        copied = at + (inserted ? 0 : 1);
    };
    LineReader lines(text.bytes);
    for (const NameUse& use : survey.uses) {
        if (!changes_bytes(use)) continue;
        if (use.line != lines.number()) {
            while (lines.number() < use.line && lines.next()) {
            }
            lines.store(g_line, g_positions);
        }
        const std::size_t* const name = g_positions + use.column + 2;
        if (use.gets_letter) edit(name[0], g_letter, true);
        const std::string& spelling = survey.spelling(use);
        const std::string& written = survey.written(use);
        for (std::size_t i = 0; i < spelling.size(); ++i) {
            if (spelling[i] != written[i]) edit(name[i], spelling[i], false);
        }
    }
    take(text.bytes.data() + copied, text.bytes.size() - copied);
}

// The scope that a line lies in, counted as the survey counts them: found
// again, rather than a table of every scope held for it.
std::uint32_t scope_of_line(const SourceText& text, std::uint64_t line) {
    std::uint32_t scope = 0;
    for (LineReader lines(text.bytes); lines.next() && lines.number() <= line;) {
        if (chain_length(g_line, lines.store(g_line, nullptr)) != 0 && opens_label_scope(g_line)) ++scope;
    }
    return scope;
}

// The names that get the letter on the line where keston would stop keep
// their spelling; where none does, those of that line's scope, whose names
// no longer fit keston's list. False when there are none either.
bool keep_spellings_at(const SourceText& text, std::uint64_t stop, const NameSurvey& survey, Renamings* renamings) {
    const std::uint32_t scope = scope_of_line(text, stop);
    bool kept = false;
    for (const bool whole_scope : {false, true}) {
        for (const NameUse& use : survey.uses) {
            if (!use.gets_letter || (whole_scope ? use.scope != scope : use.line != stop)) continue;
            (*renamings)[survey.spelling(use)] = {Keep::stops, stop, ""};
            kept = true;
        }
        if (kept) return true;
    }
    return false;
}

void note_renamings(const NameSurvey& survey, const Renamings& renamings) {
    std::unordered_map<std::uint32_t, std::size_t> first_uses;  // by spelling
    for (std::size_t i = 0; i < survey.uses.size(); ++i) {
        if (!survey.uses[i].quoted) first_uses.try_emplace(survey.uses[i].spelling, i);
    }
    for (const auto& [spelling, renaming] : renamings) {
        const std::size_t use = first_uses.find(survey.name_indexes.find(spelling)->second)->second;
        const std::string name = prefixed(spelling);
        const char* const text = name.c_str();
        switch (renaming.keep) {
            case Keep::nothing:
                add_note(use, "invalid-name", "renamed %s to %s", text, prefixed(g_letter + spelling).c_str());
                break;
            case Keep::no_letter:
                add_note(use, "invalid-name",
                         "%s is not renamed: every letter begins a local name or would make a name that a word of "
                         "the sources is",
                         text);
                break;
            case Keep::too_long:
                add_note(use, "invalid-name",
                         "%s is not renamed: a letter more would make it longer than %" PRIu32 " characters", text,
                         MAX_LABEL_NAME);
                break;
            case Keep::stops:
                add_note(use, "invalid-name",
                         "%s is not renamed: with a letter more keston would stop at line %" PRIu64, text,
                         renaming.stop_line);
                break;
            case Keep::related:
                add_note(use, "invalid-name", "%s is not renamed, as %s is not and one of them begins the other", text,
                         prefixed(renaming.related).c_str());
                break;
        }
    }
}

// Where a name stands in the rewritten file: its column moved by the letters
// put in before it on its line.
std::uint32_t rewritten_column(const NameSurvey& survey, std::size_t index) {
    const NameUse& use = survey.uses[index];
    std::uint32_t column = use.column + 1;
    for (std::size_t i = index; i-- > 0 && survey.uses[i].line == use.line;) column += survey.uses[i].gets_letter;
    return column;
}

void report_notes(const NameSurvey& survey) {
    for (const Note& note : g_notes) {
        report_note(survey.uses[note.use].line, rewritten_column(survey, note.use), note.hazard, note.text.c_str());
    }
}

// The plan for the letters, with every renaming left out that would make
// keston stop at a line. 0, or the line where keston stops whatever is left
// out.
std::uint64_t plan_letters(const SourceText& text, NameSurvey* survey) {
    Renamings renamings = find_renamings(*survey);
    keep_related(&renamings);
    for (;;) {
        mark_letters(survey, renamings);
        StopFinder finder;
        rewrite(text, *survey, [&finder](const char* bytes, std::size_t length) { finder.feed(bytes, length); });
        const std::uint64_t stop = finder.finish();
        if (stop == 0) break;
        if (!keep_spellings_at(text, stop, *survey, &renamings)) return stop;
        keep_related(&renamings);
    }
    note_renamings(*survey, renamings);
    return 0;
}

}  // namespace

void choose_fix_letter(const std::vector<std::string>& sources) {
    LetterSurvey letters;
    for (std::uint32_t order = 0; order < sources.size(); ++order) {
        if (sources[order].empty() || !is_checked(order)) continue;
        SourceText text;
        if (read_source_text(sources[order].c_str(), &text) != 0) {
            // A letter chosen without this source's words might make one of them.
            report_begin_file(sources[order].c_str(), order);
            refuse_rewrite(order, "read error");
            continue;
        }
        survey_letters(text, &letters);
    }
    for (const std::string& word : letters.words) {
        const std::string name = word.substr(1);
        if (letters.renamed.count(name) != 0 || letters.renamed.count(without_number(name)) != 0) {
            take_letter(&letters, word[0]);
        }
    }
    const auto free = std::find_if(LETTER_ORDER.begin(), LETTER_ORDER.end(),
                                   [&](char letter) { return (letters.taken & (1u << (letter - 'a'))) == 0; });
    g_letter = free == LETTER_ORDER.end() ? '\0' : *free;
}

void fix_file(const char* name, std::uint32_t order) {
    report_begin_file(name, order);
    SourceText text;
    if (read_source_text(name, &text) != 0) {
        refuse_rewrite(order, "read error");
        return;
    }
    if (const std::uint64_t stop = find_stop_line(text.bytes); stop != 0) {
        refuse_rewrite(order, "keston stops at line %" PRIu64, stop);
        return;
    }
    const bool joined = join_split_scopes(&text);
    NameSurvey survey;
    g_notes.clear();
    survey_names(text, &survey);
    if (const std::uint64_t stop = plan_letters(text, &survey); stop != 0) {
        refuse_rewrite(order, "keston would stop at line %" PRIu64, stop);
        return;
    }
    if (joined || std::any_of(survey.uses.begin(), survey.uses.end(), changes_bytes)) {
        if (!begin_rewrite(name, order)) return;
        rewrite(text, survey, write_rewrite);
        end_rewrite(name, order);
        if (!may_rewrite(order)) return;
    }
    report_scope_joins();
    report_notes(survey);
}

}  // namespace keston::check
