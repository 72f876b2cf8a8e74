// The volume calls on Linux: a file system is named by statfs from any path
// inside it, and names compare the way Windows compares file names.
#include "platform/linux/linux_native.h"

#include <sys/vfs.h>

#include <string>


namespace linux_native {

namespace {

// The magic numbers of statfs(2) for the file systems worth naming: FAT,
// whose files stay under 4 GiB, and the common ones a run meets.
struct FileSystemMagic {
    unsigned long magic;
    const wchar_t* name;
};

constexpr FileSystemMagic KnownFileSystems[] = {
    {0x4d44, L"vfat"},      {0x2011BAB0, L"exfat"}, {0xEF53, L"ext4"},
    {0x58465342, L"xfs"},   {0x9123683E, L"btrfs"}, {0x01021994, L"tmpfs"},
    {0x5346544E, L"ntfs"},
};

// Empty for a file system not in the list.
std::wstring FileSystemName(unsigned long magic) {
    for (const FileSystemMagic& known : KnownFileSystems) {
        if (known.magic == magic) return known.name;
    }
    return std::wstring();
}

// Upper case without a locale, for the letters of ASCII and Latin-1; the
// rest compare as they are.
wchar_t OrdinalUpper(wchar_t c) {
    const bool ascii = c >= L'a' && c <= L'z';
    const bool latin = c >= 0xE0 && c <= 0xFE && c != 0xF7;
    return ascii || latin ? static_cast<wchar_t>(c - 0x20) : c;
}

std::wstring TextOf(const wchar_t* text, int length) {
    return length < 0 ? std::wstring(text) : std::wstring(text, static_cast<size_t>(length));
}

}  // namespace

// No volume GUID paths here: the portable code then finds the volume by its
// path, as on Wine.
DWORD GetFinalPathNameByHandleW(HANDLE, wchar_t*, DWORD, DWORD) {
    SetError(ERROR_NOT_SUPPORTED);
    return 0;
}

namespace {

// Both volume calls answer from the file system's statfs.
BOOL VolumeAnswer(const struct statfs& volume, wchar_t* volumeName, DWORD volumeNameLength,
                  DWORD* serialNumber, DWORD* longestComponent, DWORD* fileSystemFlags,
                  wchar_t* fileSystemName, DWORD fileSystemNameLength) {
    const std::wstring name = FileSystemName(static_cast<unsigned long>(volume.f_type));
    if (fileSystemName != nullptr && name.size() + 1 > fileSystemNameLength) {
        SetError(ERROR_MORE_DATA);
        return FALSE;
    }
    if (volumeName != nullptr && volumeNameLength > 0) volumeName[0] = L'\0';
    if (serialNumber != nullptr) *serialNumber = 0;
    if (longestComponent != nullptr) *longestComponent = static_cast<DWORD>(volume.f_namelen);
    if (fileSystemFlags != nullptr) *fileSystemFlags = 0;
    if (fileSystemName != nullptr) {
        name.copy(fileSystemName, name.size());
        fileSystemName[name.size()] = L'\0';
    }
    return TRUE;
}

}  // namespace

BOOL GetVolumeInformationW(const wchar_t* root, wchar_t* volumeName, DWORD volumeNameLength,
                           DWORD* serialNumber, DWORD* longestComponent, DWORD* fileSystemFlags,
                           wchar_t* fileSystemName, DWORD fileSystemNameLength) {
    std::string native;
    if (root == nullptr || !NativePath(root, native)) return FALSE;
    struct statfs volume {};
    if (statfs(native.c_str(), &volume) != 0) {
        SetErrnoError(&native);
        return FALSE;
    }
    return VolumeAnswer(volume, volumeName, volumeNameLength, serialNumber, longestComponent,
                        fileSystemFlags, fileSystemName, fileSystemNameLength);
}

BOOL GetVolumeInformationByHandleW(HANDLE file, wchar_t* volumeName, DWORD volumeNameLength,
                                   DWORD* serialNumber, DWORD* longestComponent,
                                   DWORD* fileSystemFlags, wchar_t* fileSystemName,
                                   DWORD fileSystemNameLength) {
    const FileObject* object = FileOf(file);
    if (object == nullptr) return FALSE;
    struct statfs volume {};
    if (fstatfs(object->fd, &volume) != 0) {
        SetErrnoError();
        return FALSE;
    }
    return VolumeAnswer(volume, volumeName, volumeNameLength, serialNumber, longestComponent,
                        fileSystemFlags, fileSystemName, fileSystemNameLength);
}

int CompareStringOrdinal(const wchar_t* a, int aLength, const wchar_t* b, int bLength,
                         BOOL ignoreCase) {
    const std::wstring left = TextOf(a, aLength);
    const std::wstring right = TextOf(b, bLength);
    const size_t shorter = left.size() < right.size() ? left.size() : right.size();
    for (size_t i = 0; i < shorter; ++i) {
        const wchar_t x = ignoreCase ? OrdinalUpper(left[i]) : left[i];
        const wchar_t y = ignoreCase ? OrdinalUpper(right[i]) : right[i];
        if (x != y) return x < y ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
    }
    if (left.size() == right.size()) return CSTR_EQUAL;
    return left.size() < right.size() ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

}  // namespace linux_native
