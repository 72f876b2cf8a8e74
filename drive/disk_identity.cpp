#include "drive/disk_query.h"

#include "platform/text.h"

#include <cstring>
#include <new>

namespace {

constexpr DWORD ShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
// STORAGE_PROPERTY_QUERY: PropertyId, QueryType, AdditionalParameters
// (one byte and padding), all zero for the standard device property.
constexpr DWORD PropertyQueryBytes = 12;
// STORAGE_DEVICE_DESCRIPTOR: where the two text offsets sit.
constexpr size_t VendorIdOffsetAt = 12;
constexpr size_t ProductIdOffsetAt = 16;
// GET_LENGTH_INFORMATION: one signed 64-bit Length.
constexpr DWORD LengthInfoBytes = 8;
// IOCTL_DISK_GET_DRIVE_GEOMETRY_EX (FILE_ANY_ACCESS): DISK_GEOMETRY_EX, whose
// DiskSize follows the 24-byte DISK_GEOMETRY; the least buffer it takes.
constexpr DWORD IoctlDiskGetDriveGeometryEx = 0x700A0;
constexpr size_t DiskSizeOffset = 24;
constexpr DWORD GeometryExBytes = 32;

const wchar_t* const NotReported = L"Not reported";

// The wire formats are little-endian, as on every target; memcpy keeps the
// reads aligned.
int32_t ReadInt32At(const unsigned char* block, size_t offset) {
    int32_t value = 0;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

void ReadDescriptorTexts(HANDLE disk, unsigned char* query, unsigned char* descriptor,
                         DiskIdentity& identity) {
    std::memset(query, 0, PropertyQueryBytes);
    DWORD returned = 0;
    if (!Platform.DeviceIoControl(disk, IoctlStorageQueryProperty, query, PropertyQueryBytes,
                                  descriptor, DescriptorBufferBytes, &returned, nullptr)) {
        identity.errorText = DriveErrorText(L"Unable to read disk identification",
                                            Platform.GetLastError());
        return;
    }
    const auto count = static_cast<int32_t>(returned);
    identity.vendor = DescriptorText(descriptor, count, ReadInt32At(descriptor, VendorIdOffsetAt));
    identity.product =
        DescriptorText(descriptor, count, ReadInt32At(descriptor, ProductIdOffsetAt));
}

void KeepFirstError(DiskIdentity& identity, const wchar_t* message, DWORD code) {
    if (identity.errorText.empty()) identity.errorText = DriveErrorText(message, code);
}

// The disk's size from its geometry, which any handle may ask for.
bool ReadGeometrySize(HANDLE disk, DiskIdentity& identity) {
    unsigned char block[GeometryExBytes] = {};
    DWORD returned = 0;
    if (!Platform.DeviceIoControl(disk, IoctlDiskGetDriveGeometryEx, nullptr, 0, block,
                                  GeometryExBytes, &returned, nullptr) ||
        returned < GeometryExBytes)
        return false;
    std::memcpy(&identity.capacityBytes, block + DiskSizeOffset, sizeof identity.capacityBytes);
    return true;
}

// The length needs read access, hence a second handle on the same disk.
// Without administrator rights the disk does not open for reading: its
// geometry, asked on the identity handle, carries its size instead.
void ReadDiskLength(const std::wstring& path, HANDLE identityHandle, DiskIdentity& identity) {
    HANDLE disk = Platform.CreateFileW(path.c_str(), GENERIC_READ, ShareReadWrite, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    if (disk == INVALID_HANDLE_VALUE) {
        const DWORD code = Platform.GetLastError();
        if (!ReadGeometrySize(identityHandle, identity))
            KeepFirstError(identity, L"Unable to open the physical disk for capacity reading", code);
        return;
    }
    auto* block = new (std::nothrow) unsigned char[LengthInfoBytes]();
    if (block != nullptr) {
        DWORD returned = 0;
        if (Platform.DeviceIoControl(disk, IoctlDiskGetLengthInfo, nullptr, 0, block,
                                     LengthInfoBytes, &returned, nullptr)) {
            std::memcpy(&identity.capacityBytes, block, sizeof identity.capacityBytes);
        } else {
            KeepFirstError(identity, L"Unable to read physical disk capacity",
                           Platform.GetLastError());
        }
        delete[] block;
    }
    Platform.CloseHandle(disk);
}

}  // namespace

std::wstring TrimSpaces(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

std::wstring DeviceText(const char* bytes, int byteCount) {
    if (byteCount <= 0) return std::wstring();
    const int length = Platform.MultiByteToWideChar(CP_ACP, 0, bytes, byteCount, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length), L'\0');
    const int written =
        Platform.MultiByteToWideChar(CP_ACP, 0, bytes, byteCount, text.data(), length);
    text.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return TrimSpaces(text);
}

std::wstring DescriptorText(const unsigned char* descriptor, int32_t count, int32_t offset) {
    // A device may claim more bytes than the buffer holds; the buffer's end
    // bounds the read as well as the count does.
    if (offset < 1 || offset >= count || offset >= DescriptorBufferBytes) return std::wstring();
    const auto* start = reinterpret_cast<const char*>(descriptor + offset);
    const auto room = static_cast<size_t>(DescriptorBufferBytes - offset);
    const void* zero = std::memchr(start, 0, room);
    const size_t length =
        zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - start) : room;
    return DeviceText(start, static_cast<int>(length));
}

bool TidyDiskIdentity(DiskIdentity& identity) {
    if (identity.vendor.empty() && !identity.product.empty()) {
        identity.vendor = identity.product.substr(0, identity.product.find(L' '));
    }
    if (identity.product.empty()) identity.product = NotReported;
    if (identity.vendor.empty()) identity.vendor = NotReported;
    return identity.product != NotReported || identity.capacityBytes > 0;
}

bool QueryDiskIdentity(int64_t diskNumber, DiskIdentity& identity) {
    identity.diskNumber = diskNumber;
    const std::wstring path = L"\\\\.\\PhysicalDrive" + DecimalText(diskNumber);
    // Access 0 for the descriptor, which any process may read.
    HANDLE disk =
        Platform.CreateFileW(path.c_str(), 0, ShareReadWrite, nullptr, OPEN_EXISTING, 0, nullptr);
    if (disk == INVALID_HANDLE_VALUE) {
        identity.errorText = DriveErrorText(L"Unable to open " + path, Platform.GetLastError());
        return false;
    }
    auto* descriptor = new (std::nothrow) unsigned char[DescriptorBufferBytes]();
    if (descriptor == nullptr) {
        Platform.CloseHandle(disk);
        identity.errorText = L"Unable to allocate memory.";
        return false;
    }
    auto* query = new (std::nothrow) unsigned char[PropertyQueryBytes]();
    if (query == nullptr) {
        delete[] descriptor;
        Platform.CloseHandle(disk);
        identity.errorText = L"Unable to allocate query memory.";
        return false;
    }
    ReadDescriptorTexts(disk, query, descriptor, identity);
    ReadDiskLength(path, disk, identity);
    delete[] query;
    delete[] descriptor;
    Platform.CloseHandle(disk);
    return TidyDiskIdentity(identity);
}
