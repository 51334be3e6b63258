#include "map/line_text.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/globals.h"
#include "map/build_map.h"
#include "map/label_names.h"
#include "transform/local_labels.h"

namespace keston::map {

namespace {

// A label's characters in a message: quotes and backquotes bound it.
bool is_word_character(char c) {
    const char lower = static_cast<char>(c | 0x20);
    return (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '?' || c == '@';
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

// Puts the text from copied up to the reference, then the reference: the
// source's name and line where it is mapped, as it stands where not. The
// text goes on behind it.
std::uint32_t put_reference(Output& output, const char* line, std::uint32_t copied, const Reference& reference,
                            const LinePairs& pairs) {
    put_text(output, line, copied, reference.name_start, pairs);
    if (is_rewritten(reference)) {
        const Pair& pair = *reference.pair;
        put(output, pair.source, static_cast<std::uint32_t>(std::strlen(pair.source)));
        put(output, line + reference.name_end, reference.number_start - reference.name_end);
        put_number(output, pair.source_lines[reference.number - 1]);
    } else {
        put(output, line + reference.name_start, reference.number_end - reference.name_start);
    }
    return reference.number_end;
}

}  // namespace

void LinePairs::add(Pair* pair) {
    for (std::uint32_t i = 0; i < count; ++i) {
        if (pairs[i] == pair) return;
    }
    if (count < MAX_LINE_PAIRS) pairs[count++] = pair;
}

bool is_rewritten(const Reference& reference) {
    return reference.pair->state == MapState::MAPPED && reference.number != 0 &&
           reference.number <= reference.pair->source_lines.size();
}

LineReferences find_line_references(const char* line, std::uint32_t length) {
    LineReferences found;
    ReferenceScanner scanner(line, length);
    Reference reference;
    while (scanner.next(&reference)) {
        if (found.first_pair == nullptr) {
            found.first_pair = reference.pair;
            found.first_line = reference.number;
        }
        if (found.count < MAX_KEPT_REFERENCES) found.kept[found.count] = reference;
        ++found.count;
        const bool rewritten = is_mapped(*reference.pair) && is_rewritten(reference);
        if (rewritten) found.pairs.add(reference.pair);
        if (!reference.fasm_form) continue;
        found.fasm_form = true;
        found.fasm_block = rewritten ? reference.pair : nullptr;
    }
    return found;
}

void put_number(Output& output, std::uint64_t number) {
    char digits[24];
    const int length = std::snprintf(digits, sizeof digits, "%" PRIu64, number);
    put(output, digits, static_cast<std::uint32_t>(length));
}

void put_rewritten(Output& output, const char* line, std::uint32_t from, std::uint32_t to, const LinePairs& pairs) {
    ReferenceScanner scanner(line, to);
    Reference reference;
    std::uint32_t copied = from;
    while (scanner.next(&reference)) {
        if (reference.name_start >= from) copied = put_reference(output, line, copied, reference, pairs);
    }
    put_text(output, line, copied, to, pairs);
}

void put_rewritten_line(Output& output, const char* line, std::uint32_t length, const LineReferences& references) {
    if (references.count > MAX_KEPT_REFERENCES) {
        put_rewritten(output, line, 0, length, references.pairs);
        return;
    }
    std::uint32_t copied = 0;
    for (std::uint32_t i = 0; i < references.count; ++i) {
        copied = put_reference(output, line, copied, references.kept[i], references.pairs);
    }
    put_text(output, line, copied, length, references.pairs);
}

}  // namespace keston::map
