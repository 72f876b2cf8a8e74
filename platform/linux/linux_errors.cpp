// Last error, errno translation and the checks every handle goes through.
#include "platform/linux/linux_native.h"

#include "platform/text.h"

#include <cerrno>
#include <sys/stat.h>

namespace linux_native {

namespace {

thread_local DWORD LastError = ERROR_SUCCESS;

// Windows tells a missing folder on the way (3) from a missing last
// component (2); the kernel says ENOENT for both.
DWORD MissingCode(const std::string& path) {
    size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return ERROR_PATH_NOT_FOUND;
    const size_t slash = path.rfind('/', end);
    if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
    const std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
    struct stat info {};
    if (stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

}  // namespace

DWORD WindowsCodeOf(int error, const std::string* path) {
    switch (error) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return path ? MissingCode(*path) : ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT: return ERROR_DISK_FULL;
        case EEXIST: return ERROR_ALREADY_EXISTS;
        case EIO: return ERROR_IO_DEVICE;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EBUSY:
        case ETXTBSY: return ERROR_SHARING_VIOLATION;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case ENOSYS:
        case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
        case ECANCELED: return ERROR_OPERATION_ABORTED;
        case EMFILE:
        case ENFILE: return ErrorTooManyOpenFiles;
        case EROFS: return ErrorWriteProtect;
        case EFBIG: return ErrorFileTooLarge;
        default: return ERROR_GEN_FAILURE;
    }
}

void SetError(DWORD code) {
    LastError = code;
}

void SetErrnoError(const std::string* path) {
    LastError = WindowsCodeOf(errno, path);
}

DWORD GetLastError() {
    return LastError;
}

void SetLastError(DWORD code) {
    LastError = code;
}

bool NativePath(const wchar_t* path, std::string& out) {
    if (path == nullptr) {
        SetError(ERROR_INVALID_PARAMETER);
        return false;
    }
    out = PathBytesFromWide(path);
    return true;
}

HandleKind KindOf(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return HandleKind{};
    // Every object behind a handle starts with its kind.
    return *static_cast<const HandleKind*>(handle);
}

FileObject* FileOf(HANDLE handle) {
    if (KindOf(handle) == HandleKind::File) return static_cast<FileObject*>(handle);
    SetError(ERROR_INVALID_HANDLE);
    return nullptr;
}

PortObject* PortOf(HANDLE handle) {
    if (KindOf(handle) == HandleKind::Port) return static_cast<PortObject*>(handle);
    SetError(ERROR_INVALID_HANDLE);
    return nullptr;
}

}  // namespace linux_native
