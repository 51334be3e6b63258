// Local label names scope by scope, as -l numbers them: names used where
// their scope does not define them, names that differ only in case, and
// names that do not make valid identifiers.
#pragma once

#include <cstdint>

#include "check/line_view.h"

namespace keston::check {

// Before the first line of a file.
void start_label_scopes();

// Every non-empty source line, in order: a line that begins a scope ends the
// one before it, which is then reported on.
void note_label_scope(const char* line);

// The label names in the code part of a source line, outside its quoted
// strings and before kept, where the comment removers end the line; after
// the chain has run on the line.
void check_label_names(const char* line, const LineView& view, std::uint32_t kept);

// After the last line of a file: reports on the last scope.
void finish_label_scopes();

}  // namespace keston::check
