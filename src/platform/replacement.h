// A new file that takes the place of an existing regular file in one step,
// once it is complete: how a file is rewritten in place without ever being
// left damaged. One replacement at a time per process.
#pragma once

namespace keston::platform {

// True when both names reach the same existing regular file (through links
// or different spellings). Devices, pipes and directories never are.
bool same_regular_file(const char* first, const char* second);

// Creates a new, empty file beside the file that target reaches (symbolic
// links followed), exclusively. The descriptor, or -1 with nothing created.
int create_replacement(const char* target);

// Gives the replacement the replaced file's permission bits and, where
// allowed, its owner and group, and puts its data on the disk; its
// descriptor must be closed. 0, or -1.
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
