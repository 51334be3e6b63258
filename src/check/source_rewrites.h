// -x over every source given, all or nothing: each rewritten source waits in
// a new file beside it until every source has been planned, checked and
// reported on, and then all take their places together, or none does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace keston::check {

// Puts aside every source that names the file of an earlier one, which is
// then the same source, and every source that is no regular file, which is
// refused and not checked either, since opening a pipe could wait forever.
// A file with several names (hard links) is refused: a new file in its place
// would part it from its other names.
void drop_repeated_sources(const std::vector<std::string>& sources);

// False for a source put aside: it is neither rewritten nor checked.
bool is_checked(std::uint32_t order);

// False for a source put aside or refused.
bool may_rewrite(std::uint32_t order);

// A refusal of the source at order, the current file of the report: an
// error note, "not rewritten: " and the reason. No source is rewritten then.
[[gnu::format(printf, 2, 3)]] void refuse_rewrite(std::uint32_t order, const char* format, ...);

// The bytes that the source at order is to hold go, piece by piece, to a
// new file beside it with its settings, where they wait: begin_rewrite makes
// it (false, with a refusal, where it cannot), write_rewrite appends to it,
// and end_rewrite closes it, with a refusal where it could not be written.
bool begin_rewrite(const char* name, std::uint32_t order);
void write_rewrite(const char* bytes, std::size_t length);
void end_rewrite(const char* name, std::uint32_t order);

// Once every source has been planned: where one was refused, every waiting
// file goes, and the notes on its source with it, each source with an error
// note of its own.
void settle_rewrites();

// The file that the check of the source at order reads: its waiting file,
// or else its own.
const char* checked_name(const char* name, std::uint32_t order);

// After the report: every waiting file takes its source's place, or, where
// the report could not be written or one cannot, none does; an error note for
// each source not rewritten then.
void commit_rewrites(bool report_written);

}  // namespace keston::check
