// A new file that takes the place of an existing regular file in one step,
// once it is complete: how a file is rewritten in place without ever being
// left damaged. One replacement at a time per process.
#pragma once

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

// Creates a new, empty file beside the file that target reaches (symbolic
// links followed), exclusively, with that file's settings: owner, group,
// permission bits and extended attributes where the system has them. Only
// where the process could write that file itself and every setting can be
// kept. The descriptor, or -1 with nothing created.
int create_replacement(const char* target);

// Puts the replacement's data on the disk; its descriptor must be closed.
// 0, or -1.
int complete_replacement();

// True when the path that commit_replacement moves the replacement to
// still reaches the file that was compared with the source.
bool replacement_target_unchanged();

// Moves the replacement over the file it replaces, after complete_replacement.
// 0, or -1 with the original left as it was and the replacement removed.
int commit_replacement();

// Removes the replacement unless it has been committed; nothing otherwise.
void discard_replacement();

// discard_replacement for a signal handler or another thread: only calls
// that are safe there.
void discard_replacement_on_interrupt();

}  // namespace keston::platform
