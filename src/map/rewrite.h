// One message line rewritten: its references to the source, and the labels
// of the pairs it refers to as the source spells them.
#pragma once

#include <cstdint>

#include "map/compiler_form.h"
#include "map/output.h"
#include "map/pairs.h"

namespace keston::map {

// What a stream's lines carry over to the lines after them.
struct LineContext {
    // fasm's message goes on below its reference: the pair the lines refer
    // to until a line that begins with "error:" ends the message.
    Pair* continuation;
    // The destination and line that the last message names, which a macro
    // named on the lines after it was defined before.
    Pair* message_pair;
    std::uint64_t message_line;
    // -g: the "error:" line of the fasm message that the lines belong to.
    FasmError fasm_error;
};

// The line that ends fasm's message.
constexpr char FASM_MESSAGE_END[] = "error:";

// Puts line (its line end included) to output, rewritten.
void rewrite_line(const char* line, std::uint32_t length, LineContext& context, Output& output);

}  // namespace keston::map
