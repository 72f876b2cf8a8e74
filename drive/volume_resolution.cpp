#include "drive/disk_query.h"

#include "platform/text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
// STORAGE_DEVICE_NUMBER: DeviceType, DeviceNumber, PartitionNumber.
constexpr DWORD DeviceNumberBytes = 12;
constexpr size_t DeviceNumberOffset = 4;
// VOLUME_DISK_EXTENTS: NumberOfDiskExtents padded to 8 bytes, then
// DISK_EXTENTs of 24 bytes that start with their DiskNumber.
constexpr size_t ExtentsHeaderBytes = 8;
constexpr size_t ExtentBytes = 24;
// A volume spans at most this many extents on any system this runs on;
// beyond it a count is not believed.
constexpr uint32_t MostExtents = 4096;

uint32_t WordAt(const unsigned char* block, size_t offset) {
    // Little-endian on the wire, as on every target; memcpy avoids an
    // unaligned read.
    uint32_t word = 0;
    std::memcpy(&word, block + offset, sizeof word);
    return word;
}

// The volume's own device number; false when the storage stack gives none,
// as for a volume over several disks.
bool QueryDeviceNumber(HANDLE volume, uint32_t& deviceType, int64_t& number) {
    unsigned char block[DeviceNumberBytes] = {};
    DWORD returned = 0;
    if (!Platform.DeviceIoControl(volume, IoctlStorageGetDeviceNumber, nullptr, 0, block,
                                  DeviceNumberBytes, &returned, nullptr))
        return false;
    deviceType = WordAt(block, 0);
    number = static_cast<int32_t>(WordAt(block, DeviceNumberOffset));
    return true;
}

// The extents query answers ERROR_MORE_DATA, with the count filled in, to a
// buffer too small for every extent; it is then asked again with room for all.
bool QueryExtents(HANDLE volume, std::vector<int64_t>& disks, std::wstring& errorText) {
    std::vector<unsigned char> block(ExtentsHeaderBytes + ExtentBytes, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD returned = 0;
        const BOOL done = Platform.DeviceIoControl(
            volume, IoctlVolumeGetVolumeDiskExtents, nullptr, 0, block.data(),
            static_cast<DWORD>(block.size()), &returned, nullptr);
        const DWORD code = done ? ERROR_SUCCESS : Platform.GetLastError();
        const uint32_t count = WordAt(block.data(), 0);
        if (code == ERROR_MORE_DATA && count <= MostExtents) {
            block.assign(ExtentsHeaderBytes + ExtentBytes * count, 0);
            continue;
        }
        // Only extents that are in the buffer and were returned are read.
        const size_t filled = ExtentsHeaderBytes + ExtentBytes * static_cast<size_t>(count);
        if (code != ERROR_SUCCESS || count == 0 || filled > block.size() || returned < filled) break;
        for (uint32_t i = 0; i < count; ++i) {
            const int64_t disk = WordAt(block.data(), ExtentsHeaderBytes + ExtentBytes * i);
            if (std::find(disks.begin(), disks.end(), disk) == disks.end()) disks.push_back(disk);
        }
        return true;
    }
    errorText = DriveErrorText(L"Unable to identify the physical disk", Platform.GetLastError());
    return false;
}

}  // namespace

std::wstring DriveErrorText(const std::wstring& message, DWORD code) {
    return message + L". Windows error: " + DecimalText(static_cast<int64_t>(code));
}

bool ResolveVolumeDisks(const std::wstring& volume, std::vector<int64_t>& disks,
                        std::wstring& errorText) {
    // A GUID path names the device as it is; a drive designator through "\\.\".
    const bool guidPath = volume.compare(0, 4, L"\\\\?\\") == 0;
    const std::wstring path = guidPath ? volume : L"\\\\.\\" + volume;
    // Access 0: the device number is a query, no read right is needed.
    HANDLE device = Platform.CreateFileW(path.c_str(), 0, ShareReadWrite, nullptr, OPEN_EXISTING,
                                         0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        errorText = DriveErrorText(L"Unable to open volume " + volume, Platform.GetLastError());
        return false;
    }
    uint32_t deviceType = 0;
    int64_t number = 0;
    bool found = false;
    if (QueryDeviceNumber(device, deviceType, number)) {
        // An optical drive or a virtual driver's volume: its number is not a
        // PhysicalDrive's.
        found = deviceType == FileDeviceDisk;
        if (found) disks.push_back(number);
        if (!found) errorText = L"The volume " + volume + L" is not on a disk";
    } else {
        found = QueryExtents(device, disks, errorText);
    }
    Platform.CloseHandle(device);
    return found;
}
