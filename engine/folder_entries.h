// Folders and their entries through handles the program holds: a listing
// read through the folder's handle, and deletion through an object's own
// handle, so no name is resolved again after it was checked.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

struct FolderEntry {
    std::wstring name;
    DWORD attributes = 0;
};

// Every entry of the held folder but "." and ".."; false when the listing
// could not be read to its end.
bool ListHeldFolder(HANDLE folder, std::vector<FolderEntry>& entries);

// What a handle's object is, read through the handle itself.
enum class HeldKind { Unknown, Link, Folder, File };
HeldKind KindOfHeld(HANDLE handle);

// Deletes the object behind a handle opened with DELETE access. POSIX
// semantics take the name away at once, even while a scanner still holds
// the file, so its folder can go right after; file systems without them
// (FAT) get the classic disposition.
bool DeleteThrough(HANDLE handle);
