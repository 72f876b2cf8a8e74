// The file system under a folder and the block devices whose counters tell
// what reached storage: the mount found by its mount ID, every member of a
// btrfs, an overlay's upper layer, and what stands beneath each device.
#pragma once

#include "drive/device_counters.h"

#include <cstdint>
#include <string>
#include <vector>

struct BlockDevice {
    std::string name;  // the kernel's own ("vda1", "dm-0", "loop3")
    unsigned major = 0;
    unsigned minor = 0;
};

// Layers whose counters count what a cache answered as if storage had; a
// virtual disk's host may cache it too.
enum class CacheLayerKind { PageCachedLoop, RamDisk, ZfsVolume, Bcache, DeviceMapperCache, VirtualDisk };

struct CacheLayer {
    CacheLayerKind kind = CacheLayerKind::PageCachedLoop;
    std::string device;   // the layer's own name ("loop0")
    std::string counted;  // the counted device it lies beneath, or is ("dm-0")
};

struct LinuxStorage {
    std::string fileSystem;            // its type in the mount table ("ext4"); empty when not found
    std::vector<BlockDevice> devices;  // counted and added up; none for tmpfs and the like
    bool deviceHidden = false;         // an overlay whose upper layer this system cannot see
    bool countersKept = true;          // false when a device's queue/iostats is 0
    std::vector<CacheLayer> layers;    // the nearest of each kind beneath the devices
};

// Where a file is, as statx tells it; without a mount ID the mount is found
// by the device number, which btrfs and overlay do not share with any mount.
struct FileMount {
    bool haveMountId = false;
    uint64_t mountId = 0;
    unsigned major = 0;
    unsigned minor = 0;
};

// One line of /proc/self/mountinfo, its escapes ("\040") left as they are.
struct MountEntry {
    uint64_t mountId = 0;
    std::string deviceNumber;  // "major:minor", anonymous ("0:45") for btrfs and overlay
    std::string fileSystem;
    std::string source;
    std::string superOptions;
};

// The mount of a file, from the text of /proc/self/mountinfo; false when no
// whole line matches it.
bool FindMount(const std::string& mountInfo, const FileMount& where, MountEntry& entry);

// The upperdir= of an overlay's options, unescaped; empty when there is none.
std::string OverlayUpperDir(const std::string& superOptions);

// Fills storage from the mount of a file under sysfsRoot ("/sys").
void StorageOfMount(const std::string& sysfsRoot, const std::string& mountInfo,
                    const FileMount& where, LinuxStorage& storage);

// False when the folder cannot be looked at.
bool FindLinuxStorage(const std::wstring& folder, LinuxStorage& storage);

// "loop3+loop4": the names of the counted devices.
std::string DevicesName(const std::vector<BlockDevice>& devices);

// The counters of a sysfs "stat" file's text; false when it holds none.
bool ParseSysfsStat(const std::string& text, DeviceCounters& counters);

// The device's own counters (a partition's, a device-mapper or md device's),
// from the stat file under sysfsRoot ("/sys"), which counts 512-byte sectors.
bool ReadSysfsCounters(const std::string& sysfsRoot, unsigned major, unsigned minor,
                       DeviceCounters& counters);
