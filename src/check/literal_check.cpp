#include "check/literal_check.h"

#include <bit>
#include <cstring>
#include <string_view>

#include "check/report.h"
#include "transform/local_labels.h"

namespace keston::check {

namespace {

LineView g_result_view;

std::uint32_t span(const Literal& literal) {
    return static_cast<std::uint32_t>(literal.end - literal.start);
}

bool holds(const char* line, const Literal& literal, char c) {
    return std::memchr(line + literal.start, c, span(literal)) != nullptr;
}

// A prefix pair with a name behind it, which -l renames.
bool holds_label(const char* line, const Literal& literal) {
    for (std::uint32_t at = literal.start; at + 1 < literal.end; ++at) {
        if (line[at] == g_label_prefix[0] && line[at + 1] == g_label_prefix[1] &&
            measure_label_name(line + at + 2) != 0) {
            return true;
        }
    }
    return false;
}

bool inside(std::uint32_t cut, const Literal& literal) {
    return literal.start < cut && cut < literal.end;
}

// The first byte that the comment removers take off, when it lies inside the literal.
std::uint32_t cut_start(const CommentCuts& cuts, const Literal& literal) {
    return inside(cuts.cut, literal) ? cuts.cut : literal.start;
}

std::uint32_t cut_causes(const CommentCuts& cuts, const Literal& literal) {
    std::uint32_t causes = 0;
    if (inside(cuts.asm_cut, literal)) causes |= F_ASM_COMMENTS;
    if (cuts.cut < cuts.asm_cut && inside(cuts.cut, literal)) causes |= F_CPP_COMMENTS;
    return causes;
}

// Tab expansion turns a TAB into spaces and drops the blanks that end a
// string left open at the end of the line; -t puts TABs in; -l renames.
std::uint32_t change_causes(const char* source, const Literal& before, const char* result, const Literal& after) {
    const std::uint32_t switches = g_switches;
    const std::uint32_t expansion = (switches & F_EXPAND_TABS) != 0 ? F_EXPAND_TABS : switches & F_COMPRESS_TABS;
    std::uint32_t causes = 0;
    if (holds(source, before, '\t') || (!before.closed && is_blank(source[before.end - 1]))) causes |= expansion;
    if (holds(result, after, '\t')) causes |= switches & F_COMPRESS_TABS;
    if ((switches & F_LOCAL_LABELS) != 0 && holds_label(source, before)) causes |= F_LOCAL_LABELS;
    return causes;
}

// A changed literal is reported where it begins, a cut one where the cut begins.
void report_literal(const char* source, const Literal& literal, std::uint32_t causes, const CommentCuts* cut) {
    // The rules name every cause there is; should they miss one, every switch that changes text is named.
    if (causes == 0) causes = g_switches & LINE_CHANGING_SWITCHES;
    const bool one = std::popcount(causes) == 1;
    const char* verb = cut != nullptr ? (one ? "cuts" : "cut") : (one ? "changes" : "change");
    const bool text_literal = literal.opener == '<';
    const std::uint32_t column = (cut != nullptr ? cut_start(*cut, literal) : literal.start) + 1;
    report_hazard(g_line_number, column, text_literal ? "text-literal" : "quoted-text", switch_names(causes), " ", verb,
                  text_literal ? " the text literal " : " the quoted string ",
                  std::string_view(source + literal.start, span(literal)));
}

bool same_bytes(const char* source, const Literal& before, const char* result, const Literal& after) {
    return span(before) == span(after) && std::memcmp(source + before.start, result + after.start, span(before)) == 0;
}

// Most results keep the source's bytes up to the end of its last literal;
// with the byte behind it as well, the line view finds the same literals in
// both, as it reads no byte further on to find them: but for a '<', which
// looks for its '>' anywhere behind it.
bool keeps_literals(const char* source, const LineView& view, const char* result, std::uint32_t result_length) {
    const std::uint32_t end = view.literals[view.literal_count - 1].end;
    return result_length >= end && std::memcmp(source, result, end + 1) == 0 &&
           std::memchr(source, '<', end) == nullptr;
}

}  // namespace

// Transformations never add or move quote characters, so the literals of the
// result stand in the same order as those of the source, up to a cut. A cut
// ends the result inside a literal: a string stays open there, as the last
// literal of the result; a text literal loses its '>' and with it its place.
void check_literals(const char* source, const LineView& view, const CommentCuts& cuts, const char* result,
                    std::uint32_t result_length) {
    if (view.literal_count == 0 || keeps_literals(source, view, result, result_length)) return;
    view_line(result, result_length, (g_switches & F_CPP_COMMENTS) != 0, &g_result_view);
    for (std::uint32_t i = 0; i < view.literal_count; ++i) {
        const Literal& before = view.literals[i];
        const Literal& after = g_result_view.literals[i];
        if (i >= g_result_view.literal_count || after.opener != before.opener) {
            report_literal(source, before, cut_causes(cuts, before), &cuts);
            return;
        }
        // Blanks and names inside a text literal are the macro text that the source means.
        if (before.opener == '<' || same_bytes(source, before, result, after)) continue;
        const std::uint32_t causes = change_causes(source, before, result, after);
        if (after.closed) {
            report_literal(source, before, causes, nullptr);
            continue;
        }
        const std::uint32_t cut = cut_causes(cuts, before);
        report_literal(source, before, cut != 0 ? cut : causes, cut != 0 ? &cuts : nullptr);
        return;
    }
}

}  // namespace keston::check
