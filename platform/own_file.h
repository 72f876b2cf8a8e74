// Files the program writes by a fixed or predictable name in a folder that
// other users may write to: the report and the markers.
#pragma once

#include "platform/platform.h"

// Opens the file at path and empties it, as CreateFileW does with
// CREATE_ALWAYS or TRUNCATE_EXISTING (the only dispositions taken), but never
// through a link and never a file that has other names (a hard link), which
// emptying would destroy wherever it lives. Nothing is changed before the
// check. INVALID_HANDLE_VALUE with the last error set on failure;
// ERROR_ACCESS_DENIED when the name is not a plain file of its own.
HANDLE CreateOwnFile(const wchar_t* path, DWORD access, DWORD share, DWORD disposition);
