#include "check/label_scopes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "check/name_clash.h"
#include "check/name_syntax.h"
#include "check/report.h"
#include "common/byte_scan.h"
#include "common/globals.h"
#include "common/name_hash.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

constexpr std::size_t MAX_SCOPE_NAMES = 4096;
constexpr std::size_t SCOPE_NAME_BYTES = 65536;
// Twice as many index slots as names: a probe always ends, and soon.
constexpr unsigned INDEX_BITS = 13;
constexpr std::uint32_t INDEX_MASK = (1u << INDEX_BITS) - 1;
static_assert((1u << INDEX_BITS) == 2 * MAX_SCOPE_NAMES);

// Line numbers start at 1, so 0 stands for "not yet".
struct ScopeName {
    std::uint32_t offset;  // of its characters in the scope's text
    std::uint32_t length;
    std::uint32_t slot;  // in the scope's index
    std::uint32_t first_use_column;
    std::uint64_t first_seen;
    std::uint64_t first_use;
    std::uint64_t definition;
};

struct Scope {
    std::uint64_t first_line;
    std::uint32_t name_count;
    std::uint32_t text_used;
    bool full;  // a name found no room, so the scope's names were not all seen
    ScopeName names[MAX_SCOPE_NAMES];
    char text[SCOPE_NAME_BYTES];
    // The names hashed as spelt with small letters: 0 for an empty slot, else
    // a name's index plus one. Names that differ only in case thus share a
    // probe, met in the order in which they were added.
    std::uint16_t index[1u << INDEX_BITS];
};

Scope g_scopes[2];
Scope* g_scope = &g_scopes[0];
Scope* g_previous_scope = &g_scopes[1];
// The line before declares names and ends in ',' or '\', so this line's names
// are declared too.
bool g_list_continues = false;
// The view of a line that holds no name but may begin or go on with a list.
LineView g_plain_view;

// Where the file first defines each name, and the uses that their scope
// leaves undefined: these are reported at the end of the file, with the
// definition that a later scope may hold. Line numbers start at 1, so a
// definition at line 0 is none.
struct Definition {
    std::uint64_t line;
    std::uint64_t scope_line;
};
// Looked up by the name as it stands in the line, without a string made of it,
// and hashed as short names are.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const {
        return hash_name(name.data(), name.size());
    }
};
std::unordered_map<std::string, Definition, NameHash, std::equal_to<>> g_first_definitions;
// The uses of every file are kept until the report is written, which makes
// their text from them: most report lines are of this kind, and their text
// would take several times the memory. Their names lie in g_undefined_names.
struct UndefinedUse {
    std::uint64_t line;
    std::uint64_t scope_line;
    Definition definition;
    std::size_t name_offset;
    std::uint32_t name_length;
    std::uint32_t column;
};
std::vector<UndefinedUse> g_undefined_uses;
std::string g_undefined_names;
// The first use of the current file.
std::size_t g_file_uses = 0;

std::string_view name_of(const UndefinedUse& use) {
    return std::string_view(g_undefined_names).substr(use.name_offset, use.name_length);
}

void make_undefined_name_text(std::uint32_t index) {
    const UndefinedUse& use = g_undefined_uses[index];
    append_piece(switch_names(F_LOCAL_LABELS));
    append_piece(" leaves ");
    append_piece(label_prefix());
    append_piece(name_of(use));
    append_piece(" undefined here: the scope from line ");
    append_piece(use.scope_line);
    append_piece(" does not define it");
    if (use.definition.line == 0) return;
    append_piece("; it is defined at line ");
    append_piece(use.definition.line);
    append_piece(", in the scope from line ");
    append_piece(use.definition.scope_line);
}

void empty_scope(Scope* scope, std::uint64_t first_line) {
    for (std::uint32_t i = 0; i < scope->name_count; ++i) scope->index[scope->names[i].slot] = 0;
    scope->first_line = first_line;
    scope->name_count = 0;
    scope->text_used = 0;
    scope->full = false;
}

const char* text_of(const Scope* scope, const ScopeName& name) {
    return scope->text + name.offset;
}

// Names are short: a loop costs less than the library's compare.
bool equal(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (a[i] != b[i]) return false;
    }
    return true;
}

bool equal_ignoring_case(const char* a, const char* b, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

// Where the probe for a name ends: at the slot of the scope's name that is
// spelt as it is, else at the empty slot behind the probe, with the first
// name met on the way that differs from it only in the case of its letters.
struct Probe {
    std::uint32_t slot;
    const ScopeName* case_twin;
};

Probe probe_name(const Scope* scope, const char* name, std::uint32_t length) {
    std::uint32_t hash = NAME_HASH_START;
    for (std::uint32_t i = 0; i < length; ++i) hash = extend_name_hash(hash, ascii_lower(name[i]));
    const ScopeName* case_twin = nullptr;
    for (std::uint32_t slot = home_slot(hash, INDEX_BITS);; slot = (slot + 1) & INDEX_MASK) {
        const std::uint16_t entry = scope->index[slot];
        if (entry == 0) return {slot, case_twin};
        const ScopeName& stored = scope->names[entry - 1];
        if (stored.length != length) continue;
        const char* const text = text_of(scope, stored);
        if (equal(text, name, length)) return {slot, nullptr};
        if (case_twin == nullptr && equal_ignoring_case(text, name, length)) case_twin = &stored;
    }
}

ScopeName* name_in_slot(Scope* scope, std::uint32_t slot) {
    const std::uint16_t entry = scope->index[slot];
    return entry == 0 ? nullptr : &scope->names[entry - 1];
}

ScopeName* find_name(Scope* scope, const char* name, std::uint32_t length) {
    return name_in_slot(scope, probe_name(scope, name, length).slot);
}

// A name that no assembler takes: one that begins with a digit or '~', or
// holds a character such as '!', '^', '`' or a control character.
bool is_valid_identifier(const char* name, std::uint32_t length) {
    if (begins_no_identifier(name[0])) return false;
    for (std::uint32_t i = 0; i < length; ++i) {
        if (!is_identifier_character(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

// The chain has looked the name up on this line already, so the lookup only
// gives its number back.
void report_invalid_name(const char* name, std::uint32_t length, std::uint32_t column) {
    std::uint32_t looked_at = 0;
    const std::int64_t number = lookup_local_label(name, &looked_at);
    const std::string_view shown(name, length);
    report_hazard(g_line_number, column, "invalid-name", switch_names(F_LOCAL_LABELS), " makes ", label_prefix(), shown,
                  " the invalid name ", shown, "_", LabelNumber{static_cast<std::uint64_t>(number)});
}

void report_case_twin(const char* name, std::uint32_t length, std::uint32_t column, const ScopeName& twin) {
    report_hazard(g_line_number, column, "case-twin", switch_names(F_LOCAL_LABELS), " numbers ", label_prefix(),
                  std::string_view(name, length), " apart from ", label_prefix(),
                  std::string_view(text_of(g_scope, twin), length), " (line ", twin.first_seen,
                  "); the names differ only in case");
}

// A new name of the scope, entered at the empty slot where its probe ended;
// reported on when it is no valid identifier or differs only in case from one
// met before. Null when the scope is full.
ScopeName* add_name(const char* name, std::uint32_t length, std::uint32_t column, const Probe& probe) {
    Scope* const scope = g_scope;
    if (scope->name_count == MAX_SCOPE_NAMES || SCOPE_NAME_BYTES - scope->text_used < length) {
        if (!scope->full) report_unchecked(g_line_number, "too many local label names in one scope to check them all");
        scope->full = true;
        return nullptr;
    }
    if (!is_valid_identifier(name, length)) report_invalid_name(name, length, column);
    if (probe.case_twin != nullptr) report_case_twin(name, length, column, *probe.case_twin);
    std::memcpy(scope->text + scope->text_used, name, length);
    scope->index[probe.slot] = static_cast<std::uint16_t>(++scope->name_count);
    ScopeName& entry = scope->names[scope->name_count - 1];
    entry = {scope->text_used, length, probe.slot, 0, g_line_number, 0, 0};
    scope->text_used += length;
    return &entry;
}

// The name's column is that of its prefix.
void note_name(const char* name, std::uint32_t length, std::uint32_t column, bool defines) {
    if (collects_made_labels()) note_made_label(name, length, column, defines);
    const Probe probe = probe_name(g_scope, name, length);
    ScopeName* entry = name_in_slot(g_scope, probe.slot);
    if (entry == nullptr) entry = add_name(name, length, column, probe);
    if (entry == nullptr) return;
    if (defines) {
        if (entry->definition != 0) return;
        entry->definition = g_line_number;
        const std::string_view key(name, length);
        if (g_first_definitions.find(key) == g_first_definitions.end()) {
            g_first_definitions.emplace(key, Definition{g_line_number, g_scope->first_line});
        }
    } else if (entry->first_use == 0) {
        entry->first_use = g_line_number;
        entry->first_use_column = column;
    }
}

// Each name used but not defined in the scope, at its first use. Without
// every name of the scope seen, none is reported.
void report_undefined_names() {
    if (g_scope->full) return;
    for (std::uint32_t i = 0; i < g_scope->name_count; ++i) {
        const ScopeName& entry = g_scope->names[i];
        if (entry.definition != 0) continue;
        const char* const name = text_of(g_scope, entry);
        const ScopeName* before = find_name(g_previous_scope, name, entry.length);
        if (before != nullptr && before->definition != 0) {
            report_hazard(entry.first_use, entry.first_use_column, "scope-split", switch_names(F_LOCAL_LABELS),
                          " leaves ", label_prefix(), std::string_view(name, entry.length),
                          " undefined here: it is defined in the previous scope, at line ", before->definition);
        } else {
            g_undefined_uses.push_back({entry.first_use,
                                        g_scope->first_line,
                                        {0, 0},
                                        g_undefined_names.size(),
                                        entry.length,
                                        entry.first_use_column});
            g_undefined_names.append(name, entry.length);
        }
    }
}

// The names between from and stop. A name that begins the code part defines it.
void scan_names(const char* line, std::uint32_t from, std::uint32_t stop, std::uint32_t first, bool declares) {
    for_each_local_name(line, from, stop, MAX_LABEL_NAME + 1, [&](std::uint32_t at, std::uint32_t length) {
        note_name(line + at + 2, length, at + 1, declares || at == first);
    });
}

void open_scope() {
    report_undefined_names();
    Scope* const ended = g_scope;
    g_scope = g_previous_scope;
    g_previous_scope = ended;
    empty_scope(g_scope, g_line_number);
}

}  // namespace

void start_label_scopes() {
    empty_scope(g_scope, 1);
    empty_scope(g_previous_scope, 1);
    g_list_continues = false;
}

// A name behind a comment cut never reaches -l, nor the assembler.
void check_label_line(const char* line, std::uint32_t length, const LineWords& words, const LineView* view,
                      std::uint32_t kept) {
    if (length == 0) {
        g_list_continues = false;
        return;
    }
    if (opens_label_scope(line)) open_scope();
    if (view == nullptr) {
        if (!g_list_continues && !declares_names(words, length)) return;
        view_plain_line(line, length, (g_switches & F_CPP_COMMENTS) != 0, &g_plain_view);
        view = &g_plain_view;
    }
    const std::uint32_t stop = std::min(view->code_end, kept);
    const bool declares = g_list_continues || declares_names(words, stop);
    g_list_continues = declares && continues_in_next_line(line, stop);
    // A line without the prefix's first character holds no name: its gaps between literals need no look.
    if (scan_until(line, stop, nullptr, g_label_prefix[0]) == stop) return;
    std::uint32_t at = 0;
    for (std::uint32_t i = 0; i < view->literal_count && view->literals[i].start < stop; ++i) {
        const Literal& literal = view->literals[i];
        // Names in a text literal are the macro text the source means; those in a quoted string are text.
        if (literal.opener == '<') continue;
        scan_names(line, at, literal.start, words.first, declares);
        at = literal.end;
    }
    scan_names(line, at, stop, words.first, declares);
}

void follow_label_scope(const char* line, std::uint32_t length) {
    if (length != 0 && opens_label_scope(line)) open_scope();
    g_list_continues = false;
}

void finish_label_scopes() {
    report_undefined_names();
}

void report_undefined_uses() {
    for (std::size_t i = g_file_uses; i < g_undefined_uses.size(); ++i) {
        UndefinedUse& use = g_undefined_uses[i];
        const auto defined = g_first_definitions.find(name_of(use));
        if (defined != g_first_definitions.end()) use.definition = defined->second;
        report_made_hazard(use.line, use.column, "undefined-name", make_undefined_name_text,
                           static_cast<std::uint32_t>(i));
    }
    g_file_uses = g_undefined_uses.size();
    g_first_definitions.clear();
}

}  // namespace keston::check
