// Which file a name or a handle reaches, on Windows: the volume's serial
// number and the file index together name a file, whatever the spelling,
// link or handle.
#pragma once

#include <windows.h>

namespace keston::platform {

// An existing file opened with the access given, any sharing allowed, or
// INVALID_HANDLE_VALUE.
HANDLE open_existing(const wchar_t* path, DWORD access);

// Attributes, volume and file index of the open file, when it is a file on
// a disk and not a directory.
bool identify_open(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);

// The same for the file at path, or for the file that a UTF-8 name reaches.
bool identify(const wchar_t* path, BY_HANDLE_FILE_INFORMATION* info);
bool identify_name(const char* name, BY_HANDLE_FILE_INFORMATION* info);

bool same_identity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b);

}  // namespace keston::platform
