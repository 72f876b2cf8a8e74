// What Windows tells of an open handle's object, and deletion through a handle.
#include "platform/linux/linux_native.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace linux_native {

namespace {

DWORD AttributesOf(const struct stat& info) {
    if (S_ISLNK(info.st_mode)) return FILE_ATTRIBUTE_REPARSE_POINT;
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

bool SameObject(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Reads what a disposition asks, into deletes; false with
// ERROR_INVALID_PARAMETER when it is no disposition. An unlink takes the
// name away at once, which is what POSIX semantics ask for.
bool ReadDisposition(FILE_INFO_BY_HANDLE_CLASS infoClass, const void* information, DWORD bytes,
                     bool& deletes) {
    if (information != nullptr && infoClass == FileDispositionInfo &&
        bytes >= sizeof(FILE_DISPOSITION_INFO)) {
        deletes = static_cast<const FILE_DISPOSITION_INFO*>(information)->DeleteFile != 0;
        return true;
    }
    if (information != nullptr && infoClass == FileDispositionInfoEx &&
        bytes >= sizeof(FILE_DISPOSITION_INFO_EX)) {
        const DWORD flags = static_cast<const FILE_DISPOSITION_INFO_EX*>(information)->Flags;
        deletes = (flags & FILE_DISPOSITION_FLAG_DELETE) != 0;
        return true;
    }
    SetError(ERROR_INVALID_PARAMETER);
    return false;
}

// The handle's status, for a record of `needed` bytes; false with the last
// error set when the record is too small or the handle has none.
bool StatFor(HANDLE handle, const void* information, DWORD bytes, size_t needed, struct stat& info) {
    if (information == nullptr || bytes < needed) {
        SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return StatOf(handle, info) != nullptr;
}

BOOL TagInfo(HANDLE handle, LPVOID information, DWORD bytes) {
    struct stat info {};
    if (!StatFor(handle, information, bytes, sizeof(FILE_ATTRIBUTE_TAG_INFO), info)) return FALSE;
    auto* tag = static_cast<FILE_ATTRIBUTE_TAG_INFO*>(information);
    tag->FileAttributes = AttributesOf(info);
    tag->ReparseTag = S_ISLNK(info.st_mode) ? IO_REPARSE_TAG_SYMLINK : 0;
    return TRUE;
}

// The 128-bit identity is the whole device number and the inode.
BOOL IdInfo(HANDLE handle, LPVOID information, DWORD bytes) {
    struct stat info {};
    if (!StatFor(handle, information, bytes, sizeof(FILE_ID_INFO), info)) return FALSE;
    auto* id = static_cast<FILE_ID_INFO*>(information);
    *id = FILE_ID_INFO{};
    id->VolumeSerialNumber = static_cast<uint64_t>(info.st_dev);
    const auto inode = static_cast<uint64_t>(info.st_ino);
    std::memcpy(id->FileId.Identifier, &inode, sizeof inode);
    return TRUE;
}

}  // namespace

// The device stands for the volume and the inode for the file index.
BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* information) {
    struct stat info {};
    if (StatOf(handle, info) == nullptr) return FALSE;
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = AttributesOf(info);
    const auto device = static_cast<uint64_t>(info.st_dev);
    information->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    const auto size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information->nFileSizeLow = static_cast<DWORD>(size);
    information->nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
    const auto inode = static_cast<uint64_t>(info.st_ino);
    information->nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    information->nFileIndexLow = static_cast<DWORD>(inode);
    return TRUE;
}

// Windows deletes the object behind the handle. Here only a name can go, so
// it goes from the folder the handle was opened in, and only while that
// name still leads to the handle's object.
BOOL SetFileInformationByHandle(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                LPVOID information, DWORD bytes) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) return FALSE;
    bool deletes = false;
    if (!ReadDisposition(infoClass, information, bytes, deletes)) return FALSE;
    if (!deletes) return TRUE;
    if (file->folderFd < 0) {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    struct stat opened {};
    struct stat named {};
    if (fstat(file->fd, &opened) != 0 ||
        fstatat(file->folderFd, file->name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
        SetErrnoError();
        return FALSE;
    }
    if (!SameObject(opened, named)) {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const int how = S_ISDIR(opened.st_mode) ? AT_REMOVEDIR : 0;
    if (unlinkat(file->folderFd, file->name.c_str(), how) == 0) return TRUE;
    SetErrnoError();
    return FALSE;
}

BOOL GetFileInformationByHandleEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                  LPVOID information, DWORD bytes) {
    if (infoClass == FileAttributeTagInfo) return TagInfo(handle, information, bytes);
    if (infoClass == FileIdInfo) return IdInfo(handle, information, bytes);
    FileObject* file = FileOf(handle);
    if (file == nullptr) return FALSE;
    if (infoClass == FileIdBothDirectoryInfo || infoClass == FileIdBothDirectoryRestartInfo) {
        return ListHeldFolder(file, infoClass == FileIdBothDirectoryRestartInfo, information, bytes);
    }
    SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace linux_native
