#include "drive/folder_volume.h"

#include "drive/disk_query.h"
#include "platform/platform.h"
#include "platform/text.h"

#include <vector>

namespace {

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A file system name is short ("NTFS"); the documented buffer is MAX_PATH + 1.
constexpr DWORD FileSystemNameLength = MAX_PATH + 1;

// GetFinalPathNameByHandleW answers a buffer that is too small with the size
// it needs, terminator included, and 0 on any other failure.
std::wstring FinalPath(HANDLE folder, DWORD flags) {
    std::vector<wchar_t> buffer(MAX_PATH + 1, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length = Platform.GetFinalPathNameByHandleW(
            folder, buffer.data(), static_cast<DWORD>(buffer.size()), flags);
        if (length == 0) return std::wstring();
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.assign(length, L'\0');
    }
    return std::wstring();
}

// No access right: the handle only asks where the folder is. Backup
// semantics are what lets a folder be opened at all.
HANDLE OpenToAsk(const std::wstring& folder) {
    return Platform.CreateFileW(folder.c_str(), 0, ShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Where a folder really lies: the GUID path of its volume, or a share on
// another machine.
struct FolderPlace {
    std::wstring guidPath;
    bool network = false;
};

// A volume has a GUID path; a share, or a directory link to one, has none,
// and its NT name is on the network redirector ("\Device\Mup\server\...").
FolderPlace LocateFolder(const std::wstring& folder) {
    FolderPlace place;
    const HANDLE handle = OpenToAsk(folder);
    if (handle == INVALID_HANDLE_VALUE) return place;
    const std::wstring final = FinalPath(handle, VOLUME_NAME_GUID);
    // "\\?\Volume{...}\rest": the volume is everything before the fourth '\'.
    const std::wstring prefix = L"\\\\?\\Volume{";
    if (final.compare(0, prefix.size(), prefix) == 0) {
        place.guidPath = final.substr(0, final.find(L'\\', prefix.size()));
    } else if (final.empty()) {
        const std::wstring redirector = L"\\Device\\Mup\\";
        place.network = FinalPath(handle, VOLUME_NAME_NT).compare(0, redirector.size(), redirector) == 0;
    }
    Platform.CloseHandle(handle);
    return place;
}

// A name is at most MAX_PATH + 1 characters, as the documentation sizes it.
std::wstring FileSystemNameOfFolder(const std::wstring& folder) {
    const HANDLE handle = OpenToAsk(folder);
    if (handle == INVALID_HANDLE_VALUE) return std::wstring();
    std::vector<wchar_t> name(FileSystemNameLength, L'\0');
    const BOOL named = Platform.GetVolumeInformationByHandleW(
        handle, nullptr, 0, nullptr, nullptr, nullptr, name.data(), FileSystemNameLength);
    Platform.CloseHandle(handle);
    return named ? std::wstring(name.data()) : std::wstring();
}

}  // namespace

std::wstring DriveDesignatorOf(const std::wstring& folder) {
    const std::wstring trimmed = TrimSpaces(folder);
    if (trimmed.size() < 2 || trimmed[1] != L':') return std::wstring();
    wchar_t designator[3] = {trimmed[0], L':', L'\0'};
    Platform.CharUpperW(designator);
    return designator;
}

std::wstring FolderVolume(const std::wstring& folder) {
    const FolderPlace place = LocateFolder(folder);
    if (place.network) return std::wstring();
    return place.guidPath.empty() ? DriveDesignatorOf(folder) : place.guidPath;
}

// Without a volume of its own (a share, a Linux folder) the folder's own
// handle says what holds it.
std::wstring VolumeFileSystemName(const std::wstring& folder, const std::wstring& volume) {
    if (volume.empty()) return FileSystemNameOfFolder(folder);
    // A root ends with a separator.
    const std::wstring root = volume + L"\\";
    std::vector<wchar_t> name(FileSystemNameLength, L'\0');
    if (!Platform.GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                                        name.data(), FileSystemNameLength))
        return std::wstring();
    return name.data();
}
