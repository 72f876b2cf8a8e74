// The entries directly inside a folder, read in one go so callers can delete
// while walking without holding a search open.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

struct FolderEntry {
    std::wstring name;
    DWORD attributes = 0;
    DWORD reparseTag = 0;  // what kind of reparse point, when it is one
};

// Every entry but "." and ".."; empty when the folder cannot be searched.
std::vector<FolderEntry> ListFolder(const std::wstring& folder);

bool IsReparsePoint(DWORD attributes);
bool IsDirectory(DWORD attributes);
