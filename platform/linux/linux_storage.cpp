#include "platform/linux/linux_storage.h"

#include "platform/linux/linux_sysfs.h"
#include "platform/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cctype>
#include <charconv>
#include <limits>
#include <sstream>

using sysfs::fs::path;

namespace {

constexpr int64_t SectorBytes = 512;
// Deeper stacks, or more layers in one, are not walked further.
constexpr size_t MostLayers = 64;
// An overlay's upper layer may itself be an overlay, but not endlessly.
constexpr int MostOverlays = 4;

std::vector<std::string> Words(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

bool WholeNumber(const std::string& text, uint64_t& value) {
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

bool SectorsToBytes(const std::string& text, int64_t& bytes) {
    int64_t sectors = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), sectors);
    const bool whole = parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
    if (!whole || sectors < 0) return false;
    if (sectors > std::numeric_limits<int64_t>::max() / SectorBytes) return false;
    bytes = sectors * SectorBytes;
    return true;
}

// "id parent major:minor root mount-point options [tags...] - type source options"
bool ParseMountLine(const std::string& line, MountEntry& entry) {
    const std::vector<std::string> words = Words(line);
    if (words.size() < 6 || !WholeNumber(words[0], entry.mountId)) return false;
    for (size_t i = 6; i + 2 < words.size(); ++i) {
        if (words[i] != "-") continue;
        entry.deviceNumber = words[2];
        entry.fileSystem = words[i + 1];
        entry.source = words[i + 2];
        entry.superOptions = i + 3 < words.size() ? words[i + 3] : std::string();
        return true;
    }
    return false;
}

bool OctalDigit(char c, char highest) {
    return c >= '0' && c <= highest;
}

// The kernel writes ' ', '\t', '\n', '\\' and, in an overlay's paths, ',' and
// '=' as a backslash and three octal digits.
std::string Unescaped(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool escape = text[i] == '\\' && i + 3 < text.size() && OctalDigit(text[i + 1], '3') &&
                            OctalDigit(text[i + 2], '7') && OctalDigit(text[i + 3], '7');
        if (!escape) {
            plain += text[i];
            continue;
        }
        plain += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
        i += 3;
    }
    return plain;
}

bool StatMount(const std::string& file, FileMount& where) {
    struct statx info {};
    if (statx(AT_FDCWD, file.c_str(), 0, STATX_MNT_ID, &info) != 0) return false;
    where.haveMountId = (info.stx_mask & STATX_MNT_ID) != 0;
    where.mountId = info.stx_mnt_id;
    where.major = info.stx_dev_major;
    where.minor = info.stx_dev_minor;
    return true;
}

// The block device of major:minor; none for the anonymous numbers of
// device-less file systems.
std::vector<BlockDevice> DeviceOf(const std::string& sysfsRoot, unsigned major, unsigned minor) {
    path folder;
    if (!sysfs::Resolve(sysfs::DeviceLink(sysfsRoot, major, minor), folder)) return {};
    return {BlockDevice{folder.filename().string(), major, minor}};
}

// A mount's source ("/dev/loop3", "/dev/mapper/vg-home"): its numbers where
// the device node is visible here, and its name.
BlockDevice SourceDevice(const std::string& source) {
    const std::string file = Unescaped(source);
    BlockDevice device{path(file).filename().string(), 0, 0};
    struct stat node {};
    if (stat(file.c_str(), &node) == 0 && S_ISBLK(node.st_mode)) {
        device.major = major(node.st_rdev);
        device.minor = minor(node.st_rdev);
    }
    return device;
}

bool SameDevice(const BlockDevice& member, const BlockDevice& source) {
    if (source.major != 0 || source.minor != 0)
        return member.major == source.major && member.minor == source.minor;
    return member.name == source.name;
}

// Every device of the btrfs that source belongs to, as sysfs lists them
// under fs/btrfs/<fsid>/devices; none when source is in no such list.
std::vector<BlockDevice> BtrfsMembers(const std::string& sysfsRoot, const BlockDevice& source) {
    for (const path& fileSystem : sysfs::Entries(path(sysfsRoot) / "fs" / "btrfs")) {
        std::vector<BlockDevice> members;
        bool holdsSource = false;
        for (const path& entry : sysfs::Entries(fileSystem / "devices")) {
            BlockDevice member{entry.filename().string(), 0, 0};
            if (!sysfs::ParseDeviceNumber(sysfs::ReadAttribute(entry / "dev"), member.major, member.minor))
                continue;
            holdsSource = holdsSource || SameDevice(member, source);
            members.push_back(member);
        }
        if (holdsSource) return members;
    }
    return {};
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// lvmcache and dm-writecache name the parts of a cached volume with these.
bool DeviceMapperCachePart(const std::string& dmName) {
    for (const char* part : {"_corig", "_wcorig", "_cdata", "_cmeta", "_cvol", "_cpool"}) {
        if (EndsWith(dmName, part)) return true;
    }
    return false;
}

// A virtio disk sits under a "virtio<n>" device of its bus.
bool UnderVirtio(const path& layer) {
    for (const path& part : layer) {
        if (sysfs::StartsWith(part.string(), "virtio")) return true;
    }
    return false;
}

bool CacheLayerKindOf(const path& layer, CacheLayerKind& kind) {
    const std::string name = layer.filename().string();
    const bool zfsVolume = sysfs::StartsWith(name, "zd") && name.size() > 2 &&
                           std::isdigit(static_cast<unsigned char>(name[2]));
    if (sysfs::ReadAttribute(layer / "loop" / "dio") == "0") kind = CacheLayerKind::PageCachedLoop;
    else if (sysfs::StartsWith(name, "zram")) kind = CacheLayerKind::RamDisk;
    else if (zfsVolume) kind = CacheLayerKind::ZfsVolume;
    else if (sysfs::StartsWith(name, "bcache")) kind = CacheLayerKind::Bcache;
    else if (DeviceMapperCachePart(sysfs::ReadAttribute(layer / "dm" / "name"))) kind = CacheLayerKind::DeviceMapperCache;
    else if (UnderVirtio(layer)) kind = CacheLayerKind::VirtualDisk;
    else return false;
    return true;
}

void AddLayer(LinuxStorage& storage, const CacheLayer& found) {
    for (const CacheLayer& known : storage.layers) {
        if (known.kind == found.kind) return;
    }
    storage.layers.push_back(found);
}

// Walks everything beneath device, breadth first, so the layer found first
// is the nearest; a partition stands for its disk.
void InspectStack(const std::string& sysfsRoot, const BlockDevice& device, LinuxStorage& storage) {
    path top;
    if (!sysfs::Resolve(sysfs::DeviceLink(sysfsRoot, device.major, device.minor), top)) return;
    std::vector<path> layers = {top};
    for (size_t i = 0; i < layers.size() && i < MostLayers; ++i) {
        path layer = layers[i];
        if (!sysfs::StepUpFromPartition(layer)) continue;
        // A partition keeps no queue of its own: its disk's tells.
        if (i == 0 && sysfs::ReadAttribute(layer / "queue" / "iostats") == "0") storage.countersKept = false;
        CacheLayerKind kind;
        if (CacheLayerKindOf(layer, kind)) AddLayer(storage, {kind, layer.filename().string(), device.name});
        for (const path& slave : sysfs::Entries(layer / "slaves")) {
            path below;
            if (sysfs::Resolve(slave, below)) layers.push_back(below);
        }
    }
}

void StorageOfMountAt(const std::string& sysfsRoot, const std::string& mountInfo,
                      const FileMount& where, int overlays, LinuxStorage& storage);

// Every byte written in an overlay lands on its upper layer's file system;
// a container often cannot see that path, and then the device is hidden.
void FollowUpperLayer(const std::string& sysfsRoot, const std::string& mountInfo,
                      const MountEntry& overlay, int overlays, LinuxStorage& storage) {
    const std::string upper = OverlayUpperDir(overlay.superOptions);
    FileMount upperMount;
    if (upper.empty() || overlays >= MostOverlays || !StatMount(upper, upperMount)) {
        storage.deviceHidden = true;
        return;
    }
    StorageOfMountAt(sysfsRoot, mountInfo, upperMount, overlays + 1, storage);
    storage.fileSystem = overlay.fileSystem;
}

void StorageOfMountAt(const std::string& sysfsRoot, const std::string& mountInfo,
                      const FileMount& where, int overlays, LinuxStorage& storage) {
    MountEntry mount;
    const bool found = FindMount(mountInfo, where, mount);
    // Where the mount table names no type, the caller's own name stays.
    if (found && !mount.fileSystem.empty()) storage.fileSystem = mount.fileSystem;
    if (found && mount.fileSystem == "overlay") {
        FollowUpperLayer(sysfsRoot, mountInfo, mount, overlays, storage);
        return;
    }
    // A btrfs gives its files an anonymous device number of their own.
    storage.devices = found && mount.fileSystem == "btrfs"
                          ? BtrfsMembers(sysfsRoot, SourceDevice(mount.source))
                          : DeviceOf(sysfsRoot, where.major, where.minor);
    for (const BlockDevice& device : storage.devices) InspectStack(sysfsRoot, device, storage);
}

}  // namespace

bool FindMount(const std::string& mountInfo, const FileMount& where, MountEntry& entry) {
    const std::string device = std::to_string(where.major) + ":" + std::to_string(where.minor);
    std::istringstream lines(mountInfo);
    for (std::string line; std::getline(lines, line);) {
        MountEntry candidate;
        if (!ParseMountLine(line, candidate)) continue;
        const bool same = where.haveMountId ? candidate.mountId == where.mountId
                                            : candidate.deviceNumber == device;
        if (!same) continue;
        entry = candidate;
        return true;
    }
    return false;
}

std::string OverlayUpperDir(const std::string& superOptions) {
    std::istringstream options(superOptions);
    for (std::string option; std::getline(options, option, ',');) {
        if (sysfs::StartsWith(option, "upperdir=")) return Unescaped(option.substr(9));
    }
    return std::string();
}

void StorageOfMount(const std::string& sysfsRoot, const std::string& mountInfo,
                    const FileMount& where, LinuxStorage& storage) {
    StorageOfMountAt(sysfsRoot, mountInfo, where, 0, storage);
}

bool FindLinuxStorage(const std::wstring& folder, LinuxStorage& storage) {
    FileMount where;
    if (!StatMount(PathBytesFromWide(folder), where)) return false;
    StorageOfMount("/sys", sysfs::ReadAttribute("/proc/self/mountinfo"), where, storage);
    return true;
}

std::string DevicesName(const std::vector<BlockDevice>& devices) {
    std::string name;
    for (const BlockDevice& device : devices) name += (name.empty() ? "" : "+") + device.name;
    return name;
}

bool ParseSysfsStat(const std::string& text, DeviceCounters& counters) {
    // Fields: read I/Os, merges, sectors, ticks; write I/Os, merges, sectors, ...
    const std::vector<std::string> fields = Words(text);
    return fields.size() >= 7 && SectorsToBytes(fields[2], counters.bytesRead) &&
           SectorsToBytes(fields[6], counters.bytesWritten);
}

bool ReadSysfsCounters(const std::string& sysfsRoot, unsigned major, unsigned minor,
                       DeviceCounters& counters) {
    return ParseSysfsStat(sysfs::ReadAttribute(sysfs::DeviceLink(sysfsRoot, major, minor) / "stat"),
                          counters);
}
