#include "engine/volume_limits.h"

#include "drive/folder_volume.h"

namespace {

// The names Windows ("FAT", "FAT32") and Linux ("vfat", "msdos") give the
// file systems whose files end at 4 GiB less one byte.
constexpr const wchar_t* FatNames[] = {L"FAT", L"FAT12", L"FAT16", L"FAT32", L"vfat", L"msdos"};
constexpr int64_t FatFileLimitMiB = 4096;

}  // namespace

std::wstring TestSizeRefusal(const std::wstring& folder, int64_t testSizeMiB) {
    if (testSizeMiB < FatFileLimitMiB) return std::wstring();
    const std::wstring fileSystem = VolumeFileSystemName(folder, FolderVolume(folder));
    for (const wchar_t* fat : FatNames) {
        if (fileSystem == fat) {
            return L"The file system (" + fileSystem + L") cannot hold a test file of 4 GiB or more";
        }
    }
    return std::wstring();
}
