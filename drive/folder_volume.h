// From a folder to the volume it lies on, through mount points and links.
#pragma once

#include <string>

// The volume GUID path of the volume that holds folder, without its trailing
// separator ("\\?\Volume{...}"), from the folder's final path; empty where
// the system names none (network shares, Wine, Linux).
std::wstring FolderVolumeGuidPath(const std::wstring& folder);

// The volume to ask about folder: its GUID path, else its drive designator
// ("D:"); empty when there is neither.
std::wstring FolderVolume(const std::wstring& folder);

// The name of the file system that holds folder, on volume as FolderVolume
// gave it ("NTFS", "FAT32", "vfat"); empty when the system does not say.
std::wstring VolumeFileSystemName(const std::wstring& folder, const std::wstring& volume);
