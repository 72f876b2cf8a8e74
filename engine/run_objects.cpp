#include "engine/run_objects.h"

#include "engine/folder_entries.h"
#include "engine/run_names.h"
#include "engine/transfer_pass.h"

#include <cstring>

namespace {

// Tags after the first that a run tries before it gives up.
constexpr DWORD FolderTagTries = 16;
// Without FILE_SHARE_DELETE nobody can rename the folder while we hold it.
constexpr DWORD FolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD FolderFlags = FILE_FLAG_BACKUP_SEMANTICS;
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool SameObject(const ObjectIdentity& a, const ObjectIdentity& b) {
    return a.known && b.known && a.volume == b.volume && a.idLow == b.idLow && a.idHigh == b.idHigh;
}

// A reparse point whose tag cannot be read counts as a link.
bool IsNameSurrogate(HANDLE handle, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return !Platform.GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
           IsReparseTagNameSurrogate(tag.ReparseTag);
}

// ReFS ids differ only beyond the 64 bits of the index, so the long form
// wins where the file system gives it.
ObjectIdentity LongIdentityOr(HANDLE handle, const ObjectIdentity& shorter) {
    FILE_ID_INFO id{};
    if (!Platform.GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof id)) return shorter;
    ObjectIdentity identity{id.VolumeSerialNumber, 0, 0, true};
    std::memcpy(&identity.idLow, id.FileId.Identifier, sizeof identity.idLow);
    std::memcpy(&identity.idHigh, id.FileId.Identifier + 8, sizeof identity.idHigh);
    return identity;
}

bool IsGone(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// Read through a handle to the name just created: a reparse point there
// means someone else was quicker, and the folder is not ours.
bool RecordFolder(RunObjects& objects) {
    const HANDLE folder =
        Platform.CreateFileW(objects.folder.c_str(), GENERIC_READ, FolderShare, nullptr,
                             OPEN_EXISTING, FolderFlags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return false;
    objects.folderIdentity = IdentityOf(folder);
    Platform.CloseHandle(folder);
    return objects.folderIdentity.known;
}

// The test file by its name inside the held folder, never by a path that
// would be resolved again, and only when it is still the file we made.
Removal RemoveTestFile(HANDLE folder, const RunObjects& objects) {
    if (!objects.testFileIdentity.known) return Removal::Removed;
    const std::wstring name = objects.testFile.substr(objects.testFile.find_last_of(PathSeparator) + 1);
    const HANDLE file = Platform.OpenFileRelative(folder, name.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                                  ShareAll, FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE) {
        return IsGone(Platform.GetLastError()) ? Removal::Removed : Removal::Refused;
    }
    if (!SameObject(IdentityOf(file), objects.testFileIdentity)) {
        Platform.CloseHandle(file);
        return Removal::Replaced;
    }
    const bool deleted = DeleteThrough(file);
    Platform.CloseHandle(file);
    return deleted ? Removal::Removed : Removal::Refused;
}

// The test file, then the folder, while the folder is held.
Removal RemoveOnce(const RunObjects& objects) {
    bool replaced = false;
    const HANDLE folder = OpenChecked(objects.folder, GENERIC_READ | DELETE, FolderShare,
                                      FolderFlags, objects.folderIdentity, replaced);
    if (folder == INVALID_HANDLE_VALUE) {
        if (replaced) return Removal::Replaced;
        return IsGone(Platform.GetLastError()) ? Removal::Removed : Removal::Refused;
    }
    Removal removal = RemoveTestFile(folder, objects);
    if (removal == Removal::Removed && !DeleteThrough(folder)) removal = Removal::Refused;
    Platform.CloseHandle(folder);
    return removal;
}

}  // namespace

bool CreateRunFolder(const std::wstring& benchmarkFolder, DWORD tickCount, RunObjects& objects) {
    for (DWORD i = 0; i <= FolderTagTries; ++i) {
        const std::wstring tag = RunTag(tickCount + i);
        objects.folder = TemporaryFolderPath(benchmarkFolder, tag);
        objects.testFile = TestFilePath(objects.folder, tag);
        if (Platform.CreateDirectoryW(objects.folder.c_str(), nullptr)) return RecordFolder(objects);
        // A folder, file or link of that name is someone else's: never taken over.
        if (Platform.GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

ObjectIdentity IdentityOf(HANDLE handle, DWORD* attributes) {
    BY_HANDLE_FILE_INFORMATION information{};
    const bool read = Platform.GetFileInformationByHandle(handle, &information) != FALSE;
    if (attributes != nullptr) *attributes = read ? information.dwFileAttributes : INVALID_FILE_ATTRIBUTES;
    if (!read || IsNameSurrogate(handle, information.dwFileAttributes)) return {};
    const uint64_t index = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
    return LongIdentityOr(handle, {information.dwVolumeSerialNumber, index, 0, true});
}

HANDLE OpenChecked(const std::wstring& path, DWORD access, DWORD share, DWORD flags,
                   const ObjectIdentity& expected, bool& replaced) {
    replaced = false;
    // Windows tells a handle's identity only to one that may read attributes.
    const HANDLE handle =
        Platform.CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr,
                             OPEN_EXISTING, flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE || SameObject(IdentityOf(handle), expected)) return handle;
    Platform.CloseHandle(handle);
    replaced = true;
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenRunFolder(const RunObjects& objects, const wchar_t* failureText, std::wstring& errorText) {
    bool replaced = false;
    const HANDLE folder = OpenChecked(objects.folder, GENERIC_READ, FolderShare, FolderFlags,
                                      objects.folderIdentity, replaced);
    if (folder == INVALID_HANDLE_VALUE) {
        errorText = replaced ? std::wstring(ReplacedText) : WithWindowsError(failureText);
    }
    return folder;
}

Removal RemoveRunObjects(const RunObjects& objects) {
    if (!objects.folderIdentity.known) return Removal::Removed;
    for (int attempt = 1;; ++attempt) {
        const Removal removal = RemoveOnce(objects);
        if (removal != Removal::Refused || attempt == HeldAttempts) return removal;
        Platform.Sleep(HeldPauseMs);
    }
}
