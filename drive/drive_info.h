// What the window and the report say about the disk under the benchmark folder.
#pragma once

#include <cstdint>
#include <string>

struct DriveInfoRecord {
    std::wstring manufacturer;
    std::wstring model;
    std::wstring capacityText;
    std::wstring programFolder;  // the running program's folder, with its separator
};

// Filled once at start-up, read-only afterwards.
extern DriveInfoRecord DriveInfo;

bool GatherDriveInfo(const std::wstring& folder);
// The size of a volume ("D:" or its GUID path); 0 when it cannot be read.
int64_t VolumeTotalBytes(const std::wstring& volume);
std::wstring FormatCapacity(int64_t bytes);
