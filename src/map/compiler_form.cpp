#include "map/compiler_form.h"

#include <cstring>

#include "common/globals.h"
#include "map/message_form.h"

namespace keston::map {

namespace {

constexpr const char* SEVERITY_NAMES[] = {"error", "warning", "note"};

// Tab expansion, tab compression and renamed labels move a line's columns:
// a column in the destination is none in the source.
bool moves_columns() {
    return (g_switches & (F_EXPAND_TABS | F_COMPRESS_TABS | F_LOCAL_LABELS)) != 0;
}

std::uint32_t without_line_end(const char* line, std::uint32_t length) {
    if (length != 0 && line[length - 1] == '\n') --length;
    if (length != 0 && line[length - 1] == '\r') --length;
    return length;
}

void put_string(Output& output, const char* text) {
    put(output, text, static_cast<std::uint32_t>(std::strlen(text)));
}

// The reference to a pair whose line is the form's, if any.
bool find_location(const char* line, std::uint32_t length, const MessageForm& form, Reference* reference) {
    ReferenceScanner scanner(line, length);
    while (scanner.next(reference)) {
        if (reference->number_start >= form.number_start) return reference->number_start == form.number_start;
    }
    return false;
}

// A line that names a pair elsewhere than at its start: the first such
// reference is its place, and the whole line, behind the words for its
// severity, its text.
bool read_reference_form(const char* line, std::uint32_t length, MessageForm* form, Reference* reference) {
    ReferenceScanner scanner(line, length);
    if (!scanner.next(reference)) return false;
    *form = {};
    form->name_start = reference->name_start;
    form->name_end = reference->name_end;
    form->number_start = reference->number_start;
    form->number_end = form->column_start = form->column_end = reference->number_end;
    std::uint32_t start = 0;
    while (start < length && (line[start] == ' ' || line[start] == '\t')) ++start;
    form->severity = read_severity(line, length, start, &form->text_start);
    form->text_end = length;
    return true;
}

void put_location(Output& output, const char* line, const MessageForm& form, const Reference* mapped) {
    if (mapped != nullptr) {
        const Pair& pair = *mapped->pair;
        put_string(output, pair.source);
        put(output, ":", 1);
        put_number(output, pair.source_lines[mapped->number - 1]);
    } else {
        put(output, line + form.name_start, form.name_end - form.name_start);
        put(output, ":", 1);
        put(output, line + form.number_start, form.number_end - form.number_start);
    }
    if (form.column_end != form.column_start && (mapped == nullptr || !moves_columns())) {
        put(output, ":", 1);
        put(output, line + form.column_start, form.column_end - form.column_start);
    }
    put(output, ": ", 2);
}

// fasm's reference line: the error's text, behind what the line holds
// besides the reference (the macro line of "a.asm [3] m [1]:").
void put_fasm_text(Output& output, const char* line, const MessageForm& form, const LinePairs& pairs,
                   const FasmError& fasm_error) {
    put_rewritten(output, line, form.text_start, form.text_end, pairs);
    const std::uint32_t length = without_line_end(fasm_error.line, fasm_error.length);
    if (length == 0) return;
    if (form.text_end != form.text_start) put(output, ": ", 2);
    std::uint32_t text_start = 0;
    read_severity(fasm_error.line, length, 0, &text_start);
    put_rewritten(output, fasm_error.line, text_start, length, pairs);
}

}  // namespace

bool put_compiler_form(const char* line, std::uint32_t length, const LinePairs& pairs, const FasmError& fasm_error,
                       Output& output) {
    const std::uint32_t content = without_line_end(line, length);
    MessageForm form;
    Reference reference;
    // Where a pair's name begins inside the name the form reads ("in
    // out/a.asm:3:"), the text before it is no file's: the line names the pair.
    const bool located = read_message_form(line, content, &form);
    bool names_pair = located && find_location(line, content, form, &reference);
    if (!located || (names_pair && reference.name_start != form.name_start)) {
        if (!read_reference_form(line, content, &form, &reference)) return false;
        names_pair = true;
    }
    put_location(output, line, form, names_pair && is_rewritten(reference) ? &reference : nullptr);
    Severity severity = form.severity;
    if (form.fasm_header) severity = fasm_error.length != 0 ? Severity::ERROR : Severity::NOTE;
    put_string(output, SEVERITY_NAMES[static_cast<int>(severity)]);
    put(output, ": ", 2);
    if (form.fasm_header) {
        put_fasm_text(output, line, form, pairs, fasm_error);
    } else {
        put_rewritten(output, line, form.text_start, form.text_end, pairs);
    }
    put(output, line + content, length - content);
    return true;
}

void put_macro_in_compiler_form(const char* line, std::uint32_t length, const MacroLine& macro, const Pair& pair,
                                std::uint32_t count, std::uint32_t source_line, Output& output) {
    put_string(output, pair.source);
    put(output, ":", 1);
    put_number(output, source_line);
    put_string(output, ": note: ");
    put(output, line + macro.name_start, macro.number_start - macro.name_start);
    put_number(output, count);
    put(output, ")", 1);
    // The rest behind the file: ": Macro called from" and the line end.
    put(output, line + macro.file_end + 1, length - macro.file_end - 1);
}

}  // namespace keston::map
