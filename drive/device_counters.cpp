#include "drive/device_counters.h"

#include "drive/disk_query.h"
#include "platform/text.h"

#include <cstring>

namespace {

// Any access right will do: the counters are a query.
constexpr DWORD IoctlDiskPerformance = 0x70020;
// DISK_PERFORMANCE: BytesRead and BytesWritten lead, 88 bytes in all.
constexpr DWORD DiskPerformanceBytes = 88;
constexpr size_t BytesWrittenOffset = 8;

}  // namespace

std::wstring PhysicalDriveName(int64_t diskNumber) {
    return L"PhysicalDrive" + DecimalText(diskNumber);
}

bool ReadDiskCounters(int64_t diskNumber, DeviceCounters& counters, std::wstring& errorText) {
    const std::wstring path = L"\\\\.\\" + PhysicalDriveName(diskNumber);
    HANDLE disk = Platform.CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    if (disk == INVALID_HANDLE_VALUE) {
        errorText = DriveErrorText(L"Unable to open " + path, Platform.GetLastError());
        return false;
    }
    unsigned char block[DiskPerformanceBytes] = {};
    DWORD returned = 0;
    const BOOL read = Platform.DeviceIoControl(disk, IoctlDiskPerformance, nullptr, 0, block,
                                               DiskPerformanceBytes, &returned, nullptr);
    if (!read) {
        errorText = DriveErrorText(L"Unable to read the disk counters", Platform.GetLastError());
    }
    Platform.CloseHandle(disk);
    if (!read) return false;
    if (returned < BytesWrittenOffset + sizeof counters.bytesWritten) {
        errorText = L"The disk counters came back short: " + DecimalText(returned) + L" bytes";
        return false;
    }
    // Little-endian on the wire, as on every target.
    std::memcpy(&counters.bytesRead, block, sizeof counters.bytesRead);
    std::memcpy(&counters.bytesWritten, block + BytesWrittenOffset, sizeof counters.bytesWritten);
    return true;
}
