#include "cli/cli_storage.h"

#include "drive/disk_query.h"
#include "drive/drive_info.h"
#include "drive/folder_volume.h"
#include "platform/text.h"

#include <cmath>

#ifndef _WIN32
#include "platform/linux/linux_drive.h"
#endif

namespace {

// "PhysicalDrive1+PhysicalDrive2" for a volume over two disks.
std::wstring DisksName(const std::vector<int64_t>& disks) {
    std::wstring name;
    for (const int64_t disk : disks) name += (name.empty() ? L"" : L"+") + PhysicalDriveName(disk);
    return name;
}

#ifndef _WIN32
void ProbeLinuxStorage(const std::wstring& folder, StorageInfo& storage) {
    LinuxStorage found;
    if (!FindLinuxStorage(folder, found)) return;
    storage.fileSystem = WideFromUtf8(found.fileSystem);
    storage.device = WideFromUtf8(found.device);
    storage.major = found.major;
    storage.minor = found.minor;
    storage.cachedBelow = found.cachedLoop;
}
#endif

}  // namespace

StorageInfo ProbeStorage(const std::wstring& folder) {
    StorageInfo storage;
    const std::wstring volume = FolderVolume(folder);
    storage.fileSystem = VolumeFileSystemName(folder, volume);
    if (DriveDesignatorOf(folder).empty()) {
#ifndef _WIN32
        ProbeLinuxStorage(folder, storage);
#endif
        return storage;
    }
    if (ResolveVolumeDisks(volume, storage.diskNumbers, storage.volumeError))
        storage.device = DisksName(storage.diskNumbers);
    return storage;
}

// A volume over several disks moved, in all, what its disks counted.
bool ReadStorageCounters(const StorageInfo& storage, DeviceCounters& counters,
                         std::wstring& errorText) {
    if (!storage.diskNumbers.empty()) {
        counters = DeviceCounters{};
        for (const int64_t disk : storage.diskNumbers) {
            DeviceCounters one;
            if (!ReadDiskCounters(disk, one, errorText)) return false;
            counters.bytesRead += one.bytesRead;
            counters.bytesWritten += one.bytesWritten;
        }
        return true;
    }
#ifndef _WIN32
    if (!DeviceKeepsStatistics("/sys", storage.major, storage.minor)) {
        errorText = L"The device " + storage.device + L" keeps no statistics (its queue/iostats is 0)";
        return false;
    }
    if (ReadSysfsCounters("/sys", storage.major, storage.minor, counters)) return true;
#endif
    errorText = L"Unable to read the counters of " + storage.device;
    return false;
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

std::wstring CachedLoopWarning(const std::wstring& device) {
    return L"the device " + device +
           L" is a loop device that reaches its backing file through the page cache: "
           L"its counters cannot tell that cache from the storage";
}

std::wstring CountersUnavailableWarning(const std::wstring& device, const std::wstring& errorText) {
    return L"the device counters of " + device + L" are not available (" + errorText + L")";
}

std::wstring StorageWarning(const std::wstring& folder, const StorageInfo& storage) {
    if (storage.cachedBelow) return CachedLoopWarning(storage.device);
    if (!storage.device.empty()) return std::wstring();
    if (storage.volumeError.empty()) return NoBlockDeviceWarning(storage.fileSystem);
    return CountersUnavailableWarning(DriveDesignatorOf(folder), storage.volumeError);
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
