// Drive texts on Linux, where a folder has no drive designator: the disk
// behind the folder is found through sysfs.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

struct SysfsDisk {
    std::string vendor;  // raw bytes, padding included; a PCI vendor number for NVMe and virtio
    std::string model;   // raw bytes, padding included
    int64_t capacityBytes = 0;
};

// Where the system keeps what it knows of the disks: sysfs ("/sys") and
// udev's database ("/run/udev/data").
struct DiskSources {
    std::string sysfsRoot;
    std::string udevData;
};

// The single whole disk behind block device major:minor: a partition leads
// to its disk, a device-mapper device or a multipath map to the device
// beneath; an md array is named by its level. False when there is no
// single disk.
bool FindSysfsDisk(const DiskSources& sources, unsigned major, unsigned minor, SysfsDisk& disk);

// The model in the ATA IDENTIFY data that VPD page 89h carries; empty when
// the page is not one.
std::string AtaIdentifyModel(const std::string& page89);

// The model a udev database entry gives; empty when it gives none.
std::string UdevModel(const std::string& entry);

// A vendor that sysfs gives as a PCI vendor number ("0x1af4", as for a virtio
// disk) named from a PCI ID database ("Red Hat, Inc."); anything else, or a
// number the database does not know, comes back unchanged.
std::string PciVendorName(const std::string& vendor, std::istream& pciIds);

// Gives DriveInfo the manufacturer, model and capacity of the disk that holds
// folder; on false DriveInfo is left as it was. Call after GatherDriveInfo.
bool GatherLinuxDriveInfo(const std::wstring& folder);

// The bytes of a sysfs "size" file's sector count; 0 when it holds none.
int64_t SysfsSizeBytes(const std::string& text);
