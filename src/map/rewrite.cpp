#include "map/rewrite.h"

#include <cstring>

#include "map/build_map.h"
#include "map/compiler_form.h"
#include "map/line_text.h"
#include "map/macro_lines.h"
#include "map/map_command_line.h"
#include "map/references.h"

namespace keston::map {

namespace {

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
    } else if (g_compiler_form) {
        put_macro_in_compiler_form(line, length, macro, *pair, count, source_line, output);
    } else {
        put(output, line, macro.number_start);
        put_number(output, count);
        put(output, line + macro.number_end, macro.file_start - macro.number_end);
        put(output, pair->source, static_cast<std::uint32_t>(std::strlen(pair->source)));
        put(output, line + macro.file_end, length - macro.file_end);
    }
}

}  // namespace

void rewrite_line(const char* line, std::uint32_t length, LineContext& context, Output& output) {
    MacroLine macro;
    if (read_macro_line(line, length, &macro)) {
        put_macro_line(line, length, macro, context, output);
        return;
    }
    LineReferences references = find_line_references(line, length);
    if (context.continuation != nullptr && !references.fasm_form) {
        references.pairs.add(context.continuation);
        if (begins_with(line, length, FASM_MESSAGE_END)) context.continuation = nullptr;
    }
    if (references.fasm_form) context.continuation = references.fasm_block;
    if (references.first_pair != nullptr) {
        context.message_pair = references.first_pair;
        context.message_line = references.first_line;
    }
    if (!g_compiler_form || !put_compiler_form(line, length, references.pairs, context.fasm_error, output)) {
        put_rewritten_line(output, line, length, references);
    }
}

}  // namespace keston::map
