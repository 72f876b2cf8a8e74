#include "engine/folder_entries.h"

#include <cstddef>
#include <cstring>

namespace {

// Room for a few hundred entries per call; the listing goes on in the next.
constexpr size_t ListingBufferBytes = 64 * 1024;
constexpr size_t NameAt = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);

// Appends the records of one answer; false when one does not fit the bytes
// it came in.
bool TakeRecords(const unsigned char* bytes, size_t size, std::vector<FolderEntry>& entries) {
    for (size_t at = 0;;) {
        if (at + NameAt > size) return false;
        FILE_ID_BOTH_DIR_INFO record;
        std::memcpy(static_cast<void*>(&record), bytes + at, NameAt);
        if (record.FileNameLength > size - at - NameAt) return false;
        std::wstring name(record.FileNameLength / sizeof(wchar_t), L'\0');
        std::memcpy(name.data(), bytes + at + NameAt, name.size() * sizeof(wchar_t));
        if (name != L"." && name != L"..") entries.push_back({name, record.FileAttributes});
        if (record.NextEntryOffset == 0) return true;
        at += record.NextEntryOffset;
    }
}

}  // namespace

bool ListHeldFolder(HANDLE folder, std::vector<FolderEntry>& entries) {
    // uint64_t keeps the records on the boundary their large integers need.
    std::vector<uint64_t> buffer(ListingBufferBytes / sizeof(uint64_t));
    const auto bytes = static_cast<DWORD>(buffer.size() * sizeof(uint64_t));
    FILE_INFO_BY_HANDLE_CLASS infoClass = FileIdBothDirectoryRestartInfo;
    while (Platform.GetFileInformationByHandleEx(folder, infoClass, buffer.data(), bytes)) {
        infoClass = FileIdBothDirectoryInfo;
        if (!TakeRecords(reinterpret_cast<const unsigned char*>(buffer.data()), bytes, entries)) {
            return false;
        }
    }
    return Platform.GetLastError() == ERROR_NO_MORE_FILES;
}

HeldKind KindOfHeld(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!Platform.GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag))) {
        return HeldKind::Unknown;
    }
    // Only junctions and symbolic links lead elsewhere; a cloud file's
    // placeholder is a reparse point too, and an ordinary file or folder.
    if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        IsReparseTagNameSurrogate(tag.ReparseTag)) {
        return HeldKind::Link;
    }
    return (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? HeldKind::Folder : HeldKind::File;
}

bool DeleteThrough(HANDLE handle) {
    FILE_DISPOSITION_INFO_EX posix{};
    posix.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS;
    if (Platform.SetFileInformationByHandle(handle, FileDispositionInfoEx, &posix, sizeof(posix))) {
        return true;
    }
    const DWORD code = Platform.GetLastError();
    if (code != ERROR_INVALID_PARAMETER && code != ERROR_NOT_SUPPORTED) return false;
    FILE_DISPOSITION_INFO classic{};
    classic.DeleteFile = TRUE;
    return Platform.SetFileInformationByHandle(handle, FileDispositionInfo, &classic,
                                               sizeof(classic)) != FALSE;
}
