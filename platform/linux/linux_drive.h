// Drive texts on Linux, where a folder has no drive designator: the disk
// behind the folder is found through sysfs.
#pragma once

#include "drive/device_counters.h"

#include <cstdint>
#include <istream>
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

// A vendor that sysfs gives as a PCI vendor number ("0x1af4", as for a virtio
// disk) named from a PCI ID database ("Red Hat, Inc."); anything else, or a
// number the database does not know, comes back unchanged.
std::string PciVendorName(const std::string& vendor, std::istream& pciIds);

// Gives DriveInfo the manufacturer, model and capacity of the disk that holds
// folder; on false DriveInfo is left as it was. Call after GatherDriveInfo.
bool GatherLinuxDriveInfo(const std::wstring& folder);

// The file system under a folder and the block device that holds it.
struct LinuxStorage {
    std::string fileSystem;  // its type in the mount table ("ext4"); empty when not found
    std::string device;      // the block device's own name ("vda1", "dm-0"); empty when none
    unsigned major = 0;
    unsigned minor = 0;
    bool cachedLoop = false;  // see LoopDeviceCached
};

// False when the folder cannot be looked at.
bool FindLinuxStorage(const std::wstring& folder, LinuxStorage& storage);

// The type of the file system mounted from device major:minor, from the text
// of /proc/self/mountinfo; empty when no line names that device.
std::string MountedFileSystemType(const std::string& mountInfo, unsigned major, unsigned minor);

// Whether block device major:minor is a loop device, or a partition of one,
// that reaches its backing file through the page cache: its counters then
// count what that cache answered as if the storage had.
bool LoopDeviceCached(const std::string& sysfsRoot, unsigned major, unsigned minor);

// The bytes of a sysfs "size" file's sector count; 0 when it holds none.
int64_t SysfsSizeBytes(const std::string& text);

// The counters of a sysfs "stat" file's text; false when it holds none.
bool ParseSysfsStat(const std::string& text, DeviceCounters& counters);

// False when the disk's statistics are switched off (queue/iostats 0): its
// counters then stand still whatever goes through it.
bool DeviceKeepsStatistics(const std::string& sysfsRoot, unsigned major, unsigned minor);

// The device's own counters (a partition's, a device-mapper or md device's),
// from the stat file under sysfsRoot ("/sys"), which counts 512-byte sectors.
bool ReadSysfsCounters(const std::string& sysfsRoot, unsigned major, unsigned minor,
                       DeviceCounters& counters);
