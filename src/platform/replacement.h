// A new file that takes the place of an existing regular file in one step,
// once it is complete: how a file is rewritten in place without ever being
// left damaged. Several replacements may wait at once, to take their places
// all together or not at all; one is made at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keston::platform {

// True when both names reach the same existing regular file (through links
// or different spellings). Devices, pipes and directories never are.
bool same_regular_file(const char* first, const char* second);

// What same_regular_file compares, as a key: names that reach the same
// regular file get equal keys. False for a name that reaches none.
struct RegularFileKey {
    unsigned long long volume;
    unsigned long long index;
    bool operator<(const RegularFileKey& other) const {
        return volume != other.volume ? volume < other.volume : index < other.index;
    }
};
bool regular_file_key(const char* name, RegularFileKey* key);

// The count of names (hard links) of the regular file that name reaches; 0
// where it reaches none. Nothing is opened on POSIX, so that a FIFO without
// a writer keeps no one waiting.
std::uint64_t regular_file_links(const char* name);

// Creates a new, empty file beside the file that target reaches (symbolic
// links followed), exclusively, with that file's settings: owner, group,
// permission bits and extended attributes where the system has them. Only
// where the process could write that file itself and every setting can be
// kept. The descriptor, or -1 with nothing created. The replacement joins
// those that wait; the calls below without an index are about it.
int create_replacement(const char* target);

// Puts the replacement's data on the disk; its descriptor must be closed.
// 0, or -1.
int complete_replacement();

// True when the path that commit_replacement moves the replacement to
// still reaches the file that was compared with the source.
bool replacement_target_unchanged();

// The name of the waiting replacement file, as the file functions take it:
// what the file will hold is read from there. Valid until it is committed
// or discarded.
const char* replacement_name();

// Moves the replacement over the file it replaces, after complete_replacement,
// when it is the only one waiting. 0, or -1 with the original left as it
// was and the replacement removed.
int commit_replacement();

// Why a waiting replacement, numbered from 0 in the order of creation, is
// not in its target's place after commit_replacements.
enum class Unreplaced {
    target_changed,     // the target's path no longer reaches the file compared
    original_not_kept,  // the original could not be given a second name for the renames
    not_renamed,        // its rename failed
    held_back,          // it waited for another, which failed
    put_back,           // it was in place, and the original went back when another failed
    not_put_back,       // it stays in place: the original is still at kept_as
};
using UnreplacedNote = void (*)(std::size_t index, Unreplaced why, const char* kept_as);

// Moves every waiting replacement over its target, all or none, after
// complete_replacement of each, with the ending signals held meanwhile.
// Before the first rename every target must still reach its file and, with
// more than one, each original gets a second, temporary name, so that the
// files already replaced go back when a rename fails. Calls note for each
// replacement not in place afterwards, or in place and not put back; the
// count of those calls. Nothing waits afterwards.
std::size_t commit_replacements(UnreplacedNote note);

// Removes every waiting replacement.
void discard_replacement();

// discard_replacement for a signal handler or another thread: only calls
// that are safe there.
void discard_replacement_on_interrupt();

}  // namespace keston::platform
