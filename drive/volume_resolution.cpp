#include "drive/disk_query.h"

#include "platform/text.h"

#include <cstring>
#include <new>

namespace {

constexpr DWORD ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
// STORAGE_DEVICE_NUMBER: DeviceType, DeviceNumber, PartitionNumber.
constexpr DWORD DeviceNumberBytes = 12;
constexpr size_t DeviceNumberOffset = 4;

}  // namespace

std::wstring DriveErrorText(const std::wstring& message, DWORD code) {
    return message + L". Windows error: " + DecimalText(static_cast<int64_t>(code));
}

bool ResolveDiskNumber(const std::wstring& driveDesignator, int64_t& diskNumber,
                       std::wstring& errorText) {
    const std::wstring path = L"\\\\.\\" + driveDesignator;
    // Access 0: the device number is a query, no read right is needed.
    HANDLE volume = Platform.CreateFileW(path.c_str(), 0, ShareReadWrite, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) {
        errorText = DriveErrorText(L"Unable to open volume " + driveDesignator,
                                   Platform.GetLastError());
        return false;
    }
    auto* block = new (std::nothrow) unsigned char[DeviceNumberBytes]();
    if (block == nullptr) {
        Platform.CloseHandle(volume);
        errorText = L"Unable to allocate memory.";
        return false;
    }
    DWORD returned = 0;
    if (!Platform.DeviceIoControl(volume, IoctlStorageGetDeviceNumber, nullptr, 0, block,
                                  DeviceNumberBytes, &returned, nullptr)) {
        errorText = DriveErrorText(L"Unable to identify the physical disk",
                                   Platform.GetLastError());
        delete[] block;
        Platform.CloseHandle(volume);
        return false;
    }
    // Little-endian on the wire, as on every target; memcpy avoids an
    // unaligned read.
    int32_t number = 0;
    std::memcpy(&number, block + DeviceNumberOffset, sizeof number);
    diskNumber = number;
    delete[] block;
    Platform.CloseHandle(volume);
    return true;
}
