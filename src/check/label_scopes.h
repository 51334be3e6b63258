// Local label names scope by scope, as -l numbers them: names used where
// their scope does not define them, names that differ only in case, and
// names that do not make valid identifiers.
#pragma once

#include <cstdint>

#include "check/line_view.h"
#include "check/name_syntax.h"

namespace keston::check {

// Before the first line of a file.
void start_label_scopes();

// Every source line, in order, with its words (find_words), after the chain has
// run on it. A line that begins a scope ends the one before it, which is then
// reported on. The label names are those in the code part, outside quoted
// strings and before kept, where the comment removers end the line. view is
// null for a line that holds no label name.
void check_label_line(const char* line, std::uint32_t length, const LineWords& words, const LineView* view,
                      std::uint32_t kept);

// A source line that the assembler does not read, in place of
// check_label_line: it opens a scope where -l opens one, and declares nothing.
void follow_label_scope(const char* line, std::uint32_t length);

// After the last line of a file: reports on the last scope.
void finish_label_scopes();

// After a file, whole or not: the names that the ended scopes use without
// defining them, each with the place where the file defines it, if anywhere.
void report_undefined_uses();

}  // namespace keston::check
