#include "cli/cli_storage.h"

#include "drive/disk_query.h"
#include "drive/drive_info.h"
#include "drive/folder_volume.h"
#include "platform/text.h"

#include <cmath>

#ifndef _WIN32
#include "platform/linux/linux_storage.h"
#endif

namespace {

// "PhysicalDrive1+PhysicalDrive2" for a volume over two disks.
std::wstring DisksName(const std::vector<int64_t>& disks) {
    std::wstring name;
    for (const int64_t disk : disks) name += (name.empty() ? L"" : L"+") + PhysicalDriveName(disk);
    return name;
}

#ifndef _WIN32
// What each layer is, said after its name.
const wchar_t* LayerText(CacheLayerKind kind) {
    switch (kind) {
    case CacheLayerKind::PageCachedLoop:
        return L"a loop device that reaches its backing file through the page cache: "
               L"its counters cannot tell that cache from the storage";
    case CacheLayerKind::RamDisk:
        return L"a compressed RAM disk (zram): its counters count memory, not a disk";
    case CacheLayerKind::ZfsVolume:
        return L"a ZFS volume, which ZFS answers from its memory cache: "
               L"its counters cannot tell that cache from the disks";
    case CacheLayerKind::Bcache:
        return L"a bcache device, whose cache device answers what it holds: "
               L"its counters cannot tell that cache from the backing disk";
    case CacheLayerKind::DeviceMapperCache:
        return L"a part of a device-mapper cache, whose cache device answers what it holds: "
               L"its counters cannot tell that cache from the backing disk";
    case CacheLayerKind::VirtualDisk:
        return L"a virtual disk: the host may cache it";
    }
    return L"";
}

void ProbeLinuxStorage(const std::wstring& folder, StorageInfo& storage) {
    LinuxStorage found;
    if (!FindLinuxStorage(folder, found)) return;
    // statfs named the file system already; the mount table may know better.
    if (!found.fileSystem.empty()) storage.fileSystem = WideFromUtf8(found.fileSystem);
    storage.device = WideFromUtf8(DevicesName(found.devices));
    for (const BlockDevice& device : found.devices) storage.blockDevices.push_back({device.major, device.minor});
    storage.deviceHidden = found.deviceHidden;
    if (!found.countersKept) storage.countersError = L"The kernel does not keep them: queue/iostats is 0";
    for (const CacheLayer& layer : found.layers) {
        storage.warnings.push_back(CacheLayerWarning(WideFromUtf8(layer.counted),
                                                     WideFromUtf8(layer.device), LayerText(layer.kind)));
    }
}
#endif

std::wstring UnreadableText(const StorageInfo& storage) {
    return L"Unable to read the counters of " + storage.device;
}

// The one device of a volume or file system, by its place in the list of
// the Windows disks or of the Linux block devices.
bool ReadOneDevice(const StorageInfo& storage, size_t index, DeviceCounters& counters,
                   std::wstring& errorText) {
    if (!storage.diskNumbers.empty()) return ReadDiskCounters(storage.diskNumbers[index], counters, errorText);
#ifndef _WIN32
    const BlockNumber& device = storage.blockDevices[index];
    if (ReadSysfsCounters("/sys", device.major, device.minor, counters)) return true;
#endif
    errorText = UnreadableText(storage);
    return false;
}

}  // namespace

StorageInfo ProbeStorage(const std::wstring& folder) {
    StorageInfo storage;
    const std::wstring volume = FolderVolume(folder);
    storage.fileSystem = VolumeFileSystemName(folder, volume);
    // No volume: a Linux folder, found through sysfs, or a Windows folder on
    // another machine, which has no device here to count.
    if (volume.empty()) {
#ifndef _WIN32
        ProbeLinuxStorage(folder, storage);
#endif
        return storage;
    }
    if (ResolveVolumeDisks(volume, storage.diskNumbers, storage.volumeError))
        storage.device = DisksName(storage.diskNumbers);
    return storage;
}

// A volume or a file system over several devices moved, in all, what they counted.
bool ReadStorageCounters(const StorageInfo& storage, DeviceCounters& counters,
                         std::wstring& errorText) {
    if (!storage.countersError.empty()) {
        errorText = storage.countersError;
        return false;
    }
    const size_t devices = storage.diskNumbers.empty() ? storage.blockDevices.size() : storage.diskNumbers.size();
    if (devices == 0) {
        errorText = UnreadableText(storage);
        return false;
    }
    counters = DeviceCounters{};
    for (size_t i = 0; i < devices; ++i) {
        DeviceCounters one;
        if (!ReadOneDevice(storage, i, one, errorText)) return false;
        counters.bytesRead += one.bytesRead;
        counters.bytesWritten += one.bytesWritten;
    }
    return true;
}

void ConfirmPass(PassRecord& record, int isWrite, const DeviceCounters& before,
                 const DeviceCounters& after) {
    const int64_t counted = isWrite ? after.bytesWritten - before.bytesWritten
                                    : after.bytesRead - before.bytesRead;
    // Counters that went back were reset under the pass: they prove nothing.
    if (counted < 0 || record.bytes <= 0) {
        record.deviceError = L"The device counters cannot be compared with this pass";
        return;
    }
    // A device that moved the bytes counts them; one whose counters stood
    // still does not keep counters, whatever cache there may be.
    if (before.bytesRead == after.bytesRead && before.bytesWritten == after.bytesWritten) {
        record.deviceError = L"Neither counter moved in a pass that moved bytes: the kernel does not keep them";
        return;
    }
    record.deviceCounted = true;
    record.deviceBytes = counted;
    record.deviceShare = static_cast<double>(counted) / static_cast<double>(record.bytes);
}

std::wstring CacheWarning(double deviceShare) {
    // Rounded down, so a share just under the limit never reads as the limit.
    const auto percent = static_cast<int64_t>(std::floor(deviceShare * 100.0));
    return L"the device saw " + DecimalText(percent) +
           L"% of the bytes of this pass: a cache answered the rest";
}

std::wstring NoBlockDeviceWarning(const std::wstring& fileSystem) {
    const std::wstring type = fileSystem.empty() ? L"of an unknown type" : fileSystem;
    return L"the folder's file system (" + type +
           L") has no block device under it: the figures cannot be confirmed by device counters";
}

std::wstring CacheLayerWarning(const std::wstring& device, const std::wstring& layer,
                               const std::wstring& what) {
    const std::wstring where = layer == device ? L" is " : L" lies on " + layer + L", ";
    return L"the device " + device + where + what;
}

std::wstring HiddenDeviceWarning(const std::wstring& fileSystem) {
    return L"the folder's file system (" + fileSystem +
           L") lies on a device this system hides from it: the figures cannot be confirmed by device counters";
}

std::wstring CountersUnavailableWarning(const std::wstring& device, const std::wstring& errorText) {
    return L"the device counters of " + device + L" are not available (" + errorText + L")";
}

std::vector<std::wstring> StorageWarnings(const std::wstring& folder, const StorageInfo& storage) {
    if (storage.deviceHidden) return {HiddenDeviceWarning(storage.fileSystem)};
    if (!storage.device.empty()) return storage.warnings;
    if (storage.volumeError.empty()) return {NoBlockDeviceWarning(storage.fileSystem)};
    return {CountersUnavailableWarning(DriveDesignatorOf(folder), storage.volumeError)};
}

FolderNotes FolderAttributeNotes(const std::wstring& folder) {
    FolderNotes notes;
    const DWORD attributes = Platform.GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return notes;
    if (attributes & FILE_ATTRIBUTE_COMPRESSED)
        notes.note = L"The folder is compressed: the test file is made uncompressed";
    if (attributes & FILE_ATTRIBUTE_ENCRYPTED)
        notes.warning = L"the folder is encrypted (EFS): the test file's writes go through encryption";
    return notes;
}
