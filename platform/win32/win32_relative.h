// Opening an entry of a held folder by its name there, with no path to resolve.
#pragma once

#include "platform/platform.h"

HANDLE WINAPI OpenFileRelative(HANDLE folder, const wchar_t* name, DWORD access, DWORD share,
                               DWORD flags);
