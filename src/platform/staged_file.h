// Files written under a temporary name beside the file they are to become,
// and renamed over it only once every one of them is complete: how build
// mode makes its destinations, so that a run that fails leaves none of them
// changed and two runs that make the same file at once leave it whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keston::platform {

// Creates a new, empty file beside destination (which need not exist; its
// folder must), with the permission bits that destination has, or those of
// a new file of keston's where there is none. The descriptor, with
// *temporary set to the new file's name until the next call; -1 with nothing
// created.
int stage_file(const char* destination, const char** temporary);

// Removes the file staged last: its destination holds its bytes already.
void unstage_last();

// Renames every staged file over its destination, the last staged first.
// 0, or when a rename failed the count of files it left staged, that one
// included, which are removed then.
std::size_t commit_staged();

// Removes every staged file.
void discard_staged();

// discard_staged for a signal handler or another thread: only calls that are
// safe there.
void discard_staged_on_interrupt();

// Sets the file's time of last modification to now. 0, or -1.
int renew_time(const char* name);

// The file's time of last modification, in the system's units; -1 when
// there is no such file.
std::int64_t modification_time(const char* name);

}  // namespace keston::platform
