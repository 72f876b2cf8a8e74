#include "drive/drive_info.h"

#include "drive/disk_query.h"
#include "drive/folder_volume.h"
#include "platform/platform.h"
#include "platform/text.h"

#include <vector>

namespace {

const wchar_t* const Unknown = L"Unknown";

// Windows paths reach 32,767 characters; past that the name is not believed.
constexpr DWORD LongestPath = 32768;

// GetModuleFileNameW fills a buffer that is too small to its end and returns
// its length; only a shorter answer is the whole name.
std::wstring ModuleFileName() {
    for (DWORD size = MAX_PATH; size <= LongestPath; size *= 2) {
        std::vector<wchar_t> buffer(size, L'\0');
        const DWORD length = Platform.GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return std::wstring();
        if (length < size) return std::wstring(buffer.data(), length);
    }
    return std::wstring();
}

std::wstring ProgramFolder() {
    const std::wstring file = ModuleFileName();
    const size_t last = file.find_last_of(L"\\/");
    return last == std::wstring::npos ? std::wstring() : file.substr(0, last + 1);
}

// The three disk texts change together, from one tidied identity.
void SetDiskTexts(const DiskIdentity& identity) {
    DriveInfo.manufacturer = identity.vendor;
    DriveInfo.model = identity.product;
    DriveInfo.capacityText = FormatCapacity(identity.capacityBytes);
}

}  // namespace

int64_t VolumeTotalBytes(const std::wstring& volume) {
    const std::wstring root = volume + L"\\";
    ULARGE_INTEGER freeToCaller = {};
    ULARGE_INTEGER total = {};
    ULARGE_INTEGER totalFree = {};
    if (!Platform.GetDiskFreeSpaceExW(root.c_str(), &freeToCaller, &total, &totalFree)) return 0;
    return static_cast<int64_t>(total.QuadPart);
}

std::wstring FormatCapacity(int64_t bytes) {
    if (bytes <= 0) return Unknown;
    const double decimal = static_cast<double>(bytes) / 1e9;
    const double binary = static_cast<double>(bytes) / 1073741824.0;
    // The unit follows the unrounded decimal value alone.
    if (decimal < 1000.0) {
        return FormatTwoDecimals(decimal) + L" GB (" + FormatTwoDecimals(binary) + L" GiB)";
    }
    return FormatTwoDecimals(decimal / 1000.0) + L" TB (" + FormatTwoDecimals(binary / 1024.0) +
           L" TiB)";
}

bool GatherDriveInfo(const std::wstring& folder) {
    DriveInfo.manufacturer = Unknown;
    DriveInfo.model = Unknown;
    DriveInfo.capacityText = Unknown;
    DriveInfo.programFolder = ProgramFolder();
    // The folder's own volume: a volume mounted in a folder, or reached
    // through a link, is not the drive letter's; a share has no disk here.
    const std::wstring volume = FolderVolume(folder);
    if (volume.empty()) return false;
    std::vector<int64_t> disks;
    std::wstring resolveError;
    // A volume over several disks has no one disk to name.
    if (!ResolveVolumeDisks(volume, disks, resolveError) || disks.size() != 1) return false;
    DiskIdentity identity;
    if (!QueryDiskIdentity(disks.front(), identity)) return false;
    // Without the disk's own length, the volume's size is the best there is.
    if (identity.capacityBytes <= 0) identity.capacityBytes = VolumeTotalBytes(volume);
    SetDiskTexts(identity);
    return true;
}

bool ApplyDiskTexts(const std::string& vendorBytes, const std::string& productBytes,
                    int64_t capacityBytes) {
    DiskIdentity identity;
    identity.vendor = DeviceText(vendorBytes.data(), static_cast<int>(vendorBytes.size()));
    identity.product = DeviceText(productBytes.data(), static_cast<int>(productBytes.size()));
    identity.capacityBytes = capacityBytes;
    if (!TidyDiskIdentity(identity)) return false;
    SetDiskTexts(identity);
    return true;
}
