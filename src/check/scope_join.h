// -x: joins the label scopes that a plain label in column 0 splits inside a
// procedure, where a local name is defined on one side and used on the
// other. A MASM-style assembler keeps such a label local to its procedure,
// so one TAB in front of it, which closes no scope for -l, is what the
// source meant.
#pragma once

#include "check/source_text.h"

namespace keston::check {

// Indents, in text, every plain label in column 0 that lies between a local
// name's use and its definition within one procedure, where nothing but
// such labels lies between them, the joined scope defines no name twice and
// keston's output changes in nothing else than those TABs and the numbers
// of the names so joined. True when text changed.
bool join_split_scopes(SourceText* text);

// The notes of the last join_split_scopes, on each line it indented and each
// it refused to, into the report of the current file.
void report_scope_joins();

}  // namespace keston::check
