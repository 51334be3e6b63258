#include "map/rewrite.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/globals.h"
#include "map/build_map.h"
#include "map/label_names.h"
#include "map/macro_lines.h"
#include "map/references.h"
#include "transform/local_labels.h"

namespace keston::map {

namespace {

// Pairs whose labels a line's words may be; more in one line are left out.
constexpr std::uint32_t MAX_LINE_PAIRS = 8;
constexpr char FASM_MESSAGE_END[] = "error:";

struct LinePairs {
    Pair* pairs[MAX_LINE_PAIRS];
    std::uint32_t count = 0;

    void add(Pair* pair) {
        for (std::uint32_t i = 0; i < count; ++i) {
            if (pairs[i] == pair) return;
        }
        if (count < MAX_LINE_PAIRS) pairs[count++] = pair;
    }
};

// A label's characters in a message: quotes and backquotes bound it.
bool is_word_character(char c) {
    const char lower = static_cast<char>(c | 0x20);
    return (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '?' || c == '@';
}

bool is_rewritten(const Reference& reference) {
    return reference.pair->state == MapState::MAPPED && reference.number != 0 &&
           reference.number <= reference.pair->source_lines.size();
}

// The pairs that a reference of the line is rewritten to. A reference that
// stays as it is (line 0, past the end, a stale destination) brings no pair:
// the label names beside it stay the destination's, as its file and line do.
// The last reference in fasm's form opens a message on the lines after it:
// *fasm_block gets its pair, null when it stays as it is.
LinePairs find_line_pairs(const char* line, std::uint32_t length, bool* fasm_form, Pair** fasm_block) {
    LinePairs found;
    ReferenceScanner scanner(line, length);
    Reference reference;
    while (scanner.next(&reference)) {
        const bool rewritten = is_mapped(*reference.pair) && is_rewritten(reference);
        if (rewritten) found.add(reference.pair);
        if (!reference.fasm_form) continue;
        *fasm_form = true;
        *fasm_block = rewritten ? reference.pair : nullptr;
    }
    return found;
}

void put_number(Output& output, std::uint32_t number) {
    char digits[16];
    const int length = std::snprintf(digits, sizeof digits, "%" PRIu32, number);
    put(output, digits, static_cast<std::uint32_t>(length));
}

// The spelling of a label of one of the pairs; its length, 0 for another word.
std::uint32_t find_spelling(const LinePairs& pairs, const char* word, std::uint32_t length, const char** spelling) {
    for (std::uint32_t i = 0; i < pairs.count; ++i) {
        const std::uint32_t found = find_label_spelling(*pairs.pairs[i], word, length, spelling);
        if (found != 0) return found;
    }
    return 0;
}

// Puts line[from, to) with every whole word that is a label of the pairs
// rewritten as the prefix and the source's spelling.
void put_text(Output& output, const char* line, std::uint32_t from, std::uint32_t to, const LinePairs& pairs) {
    if (pairs.count == 0 || (g_switches & F_LOCAL_LABELS) == 0) {
        put(output, line + from, to - from);
        return;
    }
    std::uint32_t at = from;
    // A word that began before from is not whole here.
    if (at > 0) {
        while (at < to && is_word_character(line[at]) && is_word_character(line[at - 1])) ++at;
    }
    std::uint32_t copied = from;
    while (at < to) {
        if (!is_word_character(line[at])) {
            ++at;
            continue;
        }
        std::uint32_t end = at;
        while (end < to && is_word_character(line[end])) ++end;
        const char* spelling = nullptr;
        const std::uint32_t spelling_length = find_spelling(pairs, line + at, end - at, &spelling);
        if (spelling_length != 0) {
            put(output, line + copied, at - copied);
            put(output, g_label_prefix, sizeof g_label_prefix);
            put(output, spelling, spelling_length);
            copied = end;
        }
        at = end;
    }
    put(output, line + copied, to - copied);
}

bool begins_with(const char* line, std::uint32_t length, const char* text) {
    const std::size_t text_length = std::strlen(text);
    return length >= text_length && std::memcmp(line, text, text_length) == 0;
}

// A macro line whose file is a mapped destination and whose macro is defined
// there gets the source's name and the count in the source; other macro
// lines stay as they are.
void put_macro_line(const char* line, std::uint32_t length, const MacroLine& macro, const LineContext& context,
                    Output& output) {
    ReferenceScanner scanner(line, length);
    Pair* const pair = scanner.pair_named_before(macro.file_end);
    const std::uint64_t before = pair == context.message_pair ? context.message_line : 0;
    std::uint32_t count = 0;
    std::uint32_t source_line = 0;
    if (pair == nullptr || !is_mapped(*pair) || !map_macro_line(*pair, line, macro, before, &count, &source_line)) {
        put(output, line, length);
        return;
    }
    put(output, line, macro.number_start);
    put_number(output, count);
    put(output, line + macro.number_end, macro.file_start - macro.number_end);
    put(output, pair->source, static_cast<std::uint32_t>(std::strlen(pair->source)));
    put(output, line + macro.file_end, length - macro.file_end);
}

}  // namespace

void rewrite_line(const char* line, std::uint32_t length, LineContext& context, Output& output) {
    MacroLine macro;
    if (read_macro_line(line, length, &macro)) {
        put_macro_line(line, length, macro, context, output);
        return;
    }
    bool fasm_form = false;
    Pair* fasm_block = nullptr;
    LinePairs pairs = find_line_pairs(line, length, &fasm_form, &fasm_block);
    if (context.continuation != nullptr && !fasm_form) {
        pairs.add(context.continuation);
        if (begins_with(line, length, FASM_MESSAGE_END)) context.continuation = nullptr;
    }
    if (fasm_form) context.continuation = fasm_block;
    ReferenceScanner scanner(line, length);
    Reference reference;
    std::uint32_t copied = 0;
    bool named = false;
    while (scanner.next(&reference)) {
        if (!named) {
            named = true;
            context.message_pair = reference.pair;
            context.message_line = reference.number;
        }
        put_text(output, line, copied, reference.name_start, pairs);
        if (is_rewritten(reference)) {
            const Pair& pair = *reference.pair;
            put(output, pair.source, static_cast<std::uint32_t>(std::strlen(pair.source)));
            put(output, line + reference.name_end, reference.number_start - reference.name_end);
            put_number(output, pair.source_lines[reference.number - 1]);
        } else {
            put(output, line + reference.name_start, reference.number_end - reference.name_start);
        }
        copied = reference.number_end;
    }
    put_text(output, line, copied, length, pairs);
}

}  // namespace keston::map
