#include "drive/folder_volume.h"

#include "drive/drive_info.h"
#include "platform/platform.h"
#include "platform/text.h"

#include <vector>

namespace {

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A file system name is short ("NTFS"); the documented buffer is MAX_PATH + 1.
constexpr DWORD FileSystemNameLength = MAX_PATH + 1;

// GetFinalPathNameByHandleW answers a buffer that is too small with the size
// it needs, terminator included, and 0 on any other failure.
std::wstring FinalGuidPath(HANDLE folder) {
    std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = Platform.GetFinalPathNameByHandleW(
            folder, buffer.data(), static_cast<DWORD>(buffer.size()), VOLUME_NAME_GUID);
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.assign(length, L'\0');
    }
    return std::wstring();
}

}  // namespace

std::wstring FolderVolumeGuidPath(const std::wstring& folder) {
    // No access right: the handle only asks where the folder is. Backup
    // semantics are what lets a folder be opened at all.
    const HANDLE handle = Platform.CreateFileW(folder.c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::wstring();
    const std::wstring final = FinalGuidPath(handle);
    Platform.CloseHandle(handle);
    // "\\?\Volume{...}\rest": the volume is everything before the fourth '\'.
    const std::wstring prefix = L"\\\\?\\Volume{";
    if (final.compare(0, prefix.size(), prefix) != 0) return std::wstring();
    return final.substr(0, final.find(L'\\', prefix.size()));
}

std::wstring FolderVolume(const std::wstring& folder) {
    const std::wstring guidPath = FolderVolumeGuidPath(folder);
    return guidPath.empty() ? DriveDesignatorOf(folder) : guidPath;
}

std::wstring VolumeFileSystemName(const std::wstring& folder, const std::wstring& volume) {
    // A root ends with a separator. Without a volume of its own, a Linux
    // folder stands for its file system.
    const std::wstring root = volume.empty() ? JoinPath(folder, L"") : volume + L"\\";
    std::vector<wchar_t> name(FileSystemNameLength, L'\0');
    if (!Platform.GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                        name.data(), FileSystemNameLength))
        return std::wstring();
    return name.data();
}
