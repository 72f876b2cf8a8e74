// Drive texts on Linux, where a folder has no drive designator: the disk
// behind the folder is found through sysfs.
#pragma once

#include <cstdint>
#include <string>

struct SysfsDisk {
    std::string vendor;  // raw bytes of device/vendor, without the line end
    std::string model;   // raw bytes of device/model, without the line end
    int64_t capacityBytes = 0;
};

// The single whole disk behind block device major:minor, looked up under
// sysfsRoot ("/sys"): a partition leads to its disk, a device-mapper or md
// device to the one device beneath it. False when there is no single disk.
bool FindSysfsDisk(const std::string& sysfsRoot, unsigned major, unsigned minor,
                   SysfsDisk& disk);

// Gives DriveInfo the manufacturer, model and capacity of the disk that holds
// folder; on false DriveInfo is left as it was. Call after GatherDriveInfo.
bool GatherLinuxDriveInfo(const std::wstring& folder);
