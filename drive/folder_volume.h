// From a folder to the volume it lies on, through mount points and links.
#pragma once

#include <string>

// The drive designator a folder's path starts with ("D:"), upper case;
// empty for any other path.
std::wstring DriveDesignatorOf(const std::wstring& folder);

// The volume to ask about folder: the GUID path of the volume that holds it
// ("\\?\Volume{...}", from its final path), else its drive designator
// ("D:"); empty when there is neither, and for a folder that leads to
// another machine, whose drive letter's volume is not where it lies.
std::wstring FolderVolume(const std::wstring& folder);

// The name of the file system that holds folder, on volume as FolderVolume
// gave it ("NTFS", "FAT32", "vfat"); empty when the system does not say.
std::wstring VolumeFileSystemName(const std::wstring& folder, const std::wstring& volume);
