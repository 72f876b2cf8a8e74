// The Win32 file calls with every long path in its extended ("\\?\") form.
#pragma once

#include "platform/platform.h"

#include <string>

// inner's table with the path-taking file calls wrapped; the wrappers call
// inner, which stays in use until the next call.
PlatformCalls WithLongPaths(const PlatformCalls& inner);

// A working folder without SetCurrentDirectoryW, which keeps the 260-character
// limit on a default Windows: relative paths and the current directory of the
// wrapped calls mean fullPath (a full path, as GetFullPathNameW gives it).
void SetWorkingFolder(const std::wstring& fullPath);

// The folder by its full path as the working folder; false when it is not a
// folder.
bool UseWorkingFolder(const std::wstring& folder);
