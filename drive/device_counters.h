// The byte counters of the physical disk under a folder, read through the
// seam's storage queries; the console compares them with what a pass moved.
#pragma once

#include <cstdint>
#include <string>

struct DeviceCounters {
    int64_t bytesRead = 0;
    int64_t bytesWritten = 0;
};

// The bytes read and written since the disk's counters started; on failure
// only errorText is written, and every handle is closed.
bool ReadDiskCounters(int64_t diskNumber, DeviceCounters& counters, std::wstring& errorText);

// "PhysicalDrive" + diskNumber: the name the device goes by.
std::wstring PhysicalDriveName(int64_t diskNumber);
