// Files and folders by path, and the synchronous side of file handles.
#include "platform/linux/linux_native.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace linux_native {

namespace {

constexpr DWORD FileCurrent = 1;
constexpr DWORD FileEnd = 2;

// Windows device names ("\\.\C:", "\\.\PhysicalDrive0") have no meaning here.
bool IsDevicePath(const std::string& path) {
    return path.rfind("\\\\.\\", 0) == 0;
}

int AccessFlags(DWORD access) {
    const DWORD both = GENERIC_READ | GENERIC_WRITE;
    if ((access & both) == both) return O_RDWR;
    if (access & GENERIC_WRITE) return O_WRONLY;
    return O_RDONLY;
}

// Opens for CREATE_ALWAYS or OPEN_ALWAYS without truncating yet: the file must not be
// emptied before its lock shows that nobody holds it. Tells whether the file
// was there already, which Windows reports through the last error.
int OpenOrCreate(int folder, const char* name, int flags, bool& existed) {
    existed = false;
    const int fd = openat(folder, name, flags | O_CREAT | O_EXCL, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
    existed = true;
    return openat(folder, name, flags);
}

// Windows refuses a second open of a file that a handle holds without
// sharing. Advisory locks give the same between the handles of this program:
// share mode 0 takes the lock exclusively, any other share mode shares it.
// Other programs do not see these locks, and a file system without locks
// opens the file unguarded rather than not at all.
bool LockForShareMode(int fd, DWORD share) {
    if (flock(fd, (share == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0 || errno != EWOULDBLOCK) {
        return true;
    }
    SetError(ERROR_SHARING_VIOLATION);
    return false;
}

// Our handles never allow deletion while open, as on Windows; the lock
// shows whether one is open. Entries that cannot be opened (links, folders,
// unreadable files) are left to unlink's own verdict.
bool HeldOpen(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

int OpenForDisposition(int folder, const char* name, int flags, DWORD disposition,
                       bool& existed) {
    existed = disposition != CREATE_NEW;
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) {
        return OpenOrCreate(folder, name, flags, existed);
    }
    if (disposition == CREATE_NEW) return openat(folder, name, flags | O_CREAT | O_EXCL, 0666);
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        return openat(folder, name, flags);
    }
    errno = EINVAL;
    return -1;
}

// Opens the name the way the flags ask. With FILE_FLAG_OPEN_REPARSE_POINT a
// symbolic link is opened itself, as Windows opens a reparse point rather
// than what it leads to; a folder opens only with FILE_FLAG_BACKUP_SEMANTICS.
int OpenNamed(int folder, const char* name, int openFlags, DWORD disposition, DWORD flags,
              bool& existed) {
    const bool asLink = (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0;
    if (asLink) openFlags |= O_NOFOLLOW;
    const int fd = OpenForDisposition(folder, name, openFlags, disposition, existed);
    if (fd >= 0) return fd;
    if (errno == ELOOP && asLink) return openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (errno == EISDIR && (flags & FILE_FLAG_BACKUP_SEMANTICS)) {
        return openat(folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (openFlags & O_NOFOLLOW));
    }
    return -1;
}

// Checks and settles a freshly opened descriptor; false with the last error
// set when the open must fail after all.
bool SettleOpened(int fd, DWORD share, DWORD disposition, DWORD flags) {
    struct stat info {};
    const int status = fcntl(fd, F_GETFL);
    const bool blocks = status >= 0 && ((status & O_NONBLOCK) == 0 ||
                                        fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == 0);
    if (!blocks || fstat(fd, &info) != 0) {
        SetErrnoError();
        return false;
    }
    if (S_ISDIR(info.st_mode) && !(flags & FILE_FLAG_BACKUP_SEMANTICS)) {
        SetError(ERROR_ACCESS_DENIED);
        return false;
    }
    // A folder, or a link opened as itself, is neither locked nor emptied.
    if (S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode)) return true;
    if (!LockForShareMode(fd, share)) return false;
    const bool empties = disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS;
    if (empties && ftruncate(fd, 0) != 0) {
        SetErrnoError();
        return false;
    }
    if (flags & FILE_FLAG_SEQUENTIAL_SCAN) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    if (flags & FILE_FLAG_RANDOM_ACCESS) posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    return true;
}

int64_t OffsetOf(const OVERLAPPED* overlapped) {
    return static_cast<int64_t>((static_cast<uint64_t>(overlapped->OffsetHigh) << 32) |
                                overlapped->Offset);
}

// One pread or pwrite at the request's offset (the record's, else the
// handle's position), moving the position past what was moved.
ssize_t TransferAt(FileObject* file, void* buffer, DWORD bytes, OVERLAPPED* overlapped,
                   bool isWrite) {
    const int64_t offset = overlapped ? OffsetOf(overlapped) : file->position;
    ssize_t moved;
    do {
        moved = isWrite ? pwrite(file->fd, buffer, bytes, offset)
                        : pread(file->fd, buffer, bytes, offset);
    } while (moved < 0 && errno == EINTR);
    if (moved >= 0) file->position = offset + moved;
    return moved;
}

BOOL FinishTransfer(ssize_t moved, DWORD bytes, DWORD* done, OVERLAPPED* overlapped,
                    bool isWrite) {
    const DWORD count = moved > 0 ? static_cast<DWORD>(moved) : 0;
    if (done) *done = count;
    if (overlapped) {
        overlapped->Internal = 0;
        overlapped->InternalHigh = count;
    }
    if (moved < 0) {
        SetErrnoError();
        return FALSE;
    }
    // A regular file takes a short write only when there is no more room.
    if (isWrite && count < bytes) {
        SetError(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

// The descriptor of the name in the folder, opened and settled; -1 with the
// last error set.
int OpenSettled(int folder, const std::string& name, const std::string& native, DWORD access,
                DWORD share, DWORD disposition, DWORD flags, bool& existed) {
    // Non-blocking only while opening, so a pipe planted under the name
    // cannot hold the open forever; the ring must not see it on the file.
    int openFlags = AccessFlags(access) | O_CLOEXEC | O_NONBLOCK;
    if (flags & FILE_FLAG_NO_BUFFERING) openFlags |= O_DIRECT;
    const int fd = OpenNamed(folder, name.c_str(), openFlags, disposition, flags, existed);
    if (fd < 0) {
        if (disposition == CREATE_NEW && errno == EEXIST) {
            SetError(ERROR_FILE_EXISTS);
        } else {
            SetErrnoError(&native);
        }
        return -1;
    }
    if (!SettleOpened(fd, share, disposition, flags)) {
        const DWORD code = GetLastError();
        close(fd);
        SetError(code);
        return -1;
    }
    return fd;
}

bool IsLinkToFolder(const std::string& native) {
    struct stat link {};
    struct stat target {};
    return lstat(native.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
           stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}

// The name opened in the folder descriptor as a handle. A handle that may
// delete keeps a descriptor of that folder, to unlink from that very one.
HANDLE OpenInFolder(int folder, const std::string& name, const std::string& native, DWORD access,
                    DWORD share, DWORD disposition, DWORD flags) {
    bool existed = false;
    const int fd = OpenSettled(folder, name, native, access, share, disposition, flags, existed);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    const int kept = (access & DELETE) != 0 ? fcntl(folder, F_DUPFD_CLOEXEC, 0) : -1;
    if ((access & DELETE) != 0 && kept < 0) {
        SetErrnoError();
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    auto* file = new (std::nothrow) FileObject{HandleKind::File, fd, flags, 0, nullptr, 0, -1,
                                               kept, kept >= 0 ? name : ""};
    if (file == nullptr) {
        close(fd);
        if (kept >= 0) close(kept);
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    // Windows reports through the last error whether the name was taken.
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) SetError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return file;
}

}  // namespace

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder.assign(1, '.');  // not = ".": GCC 12 warns falsely of overlap there
        name = path;
    } else {
        folder = slash == 0 ? std::string("/") : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES*,
                   DWORD disposition, DWORD flags, HANDLE) {
    std::string native, folderPath, name;
    if (!NativePath(path, native)) return INVALID_HANDLE_VALUE;
    if (IsDevicePath(native)) {
        SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SplitPath(native, folderPath, name);
    const int folder = open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        SetErrnoError(&native);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE file = OpenInFolder(folder, name, native, access, share, disposition, flags);
    close(folder);
    return file;
}

// Relative to the held folder's own descriptor: no path is resolved again.
HANDLE OpenFileRelative(HANDLE folderHandle, const wchar_t* name, DWORD access, DWORD share,
                        DWORD flags) {
    FileObject* folder = FileOf(folderHandle);
    std::string native;
    if (folder == nullptr || !NativePath(name, native)) return INVALID_HANDLE_VALUE;
    // A name inside the folder, never a way out of it.
    if (native.empty() || native == "." || native == ".." || native.find('/') != std::string::npos) {
        SetError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return OpenInFolder(folder->fd, native, native, access, share, OPEN_EXISTING, flags);
}

BOOL SynchronousRead(FileObject* file, LPVOID buffer, DWORD bytes, DWORD* done,
                     OVERLAPPED* overlapped) {
    const ssize_t moved = TransferAt(file, buffer, bytes, overlapped, false);
    return FinishTransfer(moved, bytes, done, overlapped, false);
}

BOOL SynchronousWrite(FileObject* file, const void* buffer, DWORD bytes, DWORD* done,
                      OVERLAPPED* overlapped) {
    // pwrite only reads the buffer; the cast lets one helper serve both ways.
    const ssize_t moved = TransferAt(file, const_cast<void*>(buffer), bytes, overlapped, true);
    return FinishTransfer(moved, bytes, done, overlapped, true);
}

BOOL SetFilePointerEx(HANDLE handle, LARGE_INTEGER distance, LARGE_INTEGER* newPosition,
                      DWORD method) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) return FALSE;
    int64_t base = 0;
    if (method == FileCurrent) {
        base = file->position;
    } else if (method == FileEnd) {
        struct stat info {};
        if (fstat(file->fd, &info) != 0) {
            SetErrnoError();
            return FALSE;
        }
        base = info.st_size;
    } else if (method != FILE_BEGIN) {
        SetError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (distance.QuadPart < -base || distance.QuadPart > INT64_MAX - base) {
        SetError(distance.QuadPart < 0 ? ErrorNegativeSeek : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    file->position = base + distance.QuadPart;
    if (newPosition) newPosition->QuadPart = file->position;
    return TRUE;
}

FileObject* StatOf(HANDLE handle, struct stat& info) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) return nullptr;
    if (fstat(file->fd, &info) == 0) return file;
    SetErrnoError();
    return nullptr;
}

BOOL SetEndOfFile(HANDLE handle) {
    struct stat info {};
    FileObject* file = StatOf(handle, info);
    if (file == nullptr) return FALSE;
    // Growing allocates the space, so a full disk fails here and not in the
    // middle of the writes that follow.
    if (file->position > info.st_size &&
        fallocate(file->fd, 0, info.st_size, file->position - info.st_size) == 0) {
        return TRUE;
    }
    if (file->position > info.st_size && errno != EOPNOTSUPP) {
        SetErrnoError();
        return FALSE;
    }
    if (file->position != info.st_size && ftruncate(file->fd, file->position) != 0) {
        SetErrnoError();
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle) {
    FileObject* file = FileOf(handle);
    if (file == nullptr) return FALSE;
    if (fsync(file->fd) == 0) return TRUE;
    SetErrnoError();
    return FALSE;
}

BOOL CloseFile(FileObject* file) {
    if (file->port) DetachFile(file);
    CloseListing(file);
    close(file->fd);
    if (file->folderFd >= 0) close(file->folderFd);
    if (file->port) ReleasePort(file->port);
    delete file;
    return TRUE;
}

BOOL DeleteFileW(const wchar_t* path) {
    std::string native;
    if (!NativePath(path, native)) return FALSE;
    if (HeldOpen(native)) {
        SetError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    // A link to a folder is a directory entry on Windows: only
    // RemoveDirectoryW takes it away.
    if (IsLinkToFolder(native)) {
        SetError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(native.c_str()) == 0) return TRUE;
    SetErrnoError(&native);
    return FALSE;
}

BOOL CreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES*) {
    std::string native;
    if (!NativePath(path, native)) return FALSE;
    if (mkdir(native.c_str(), 0777) == 0) return TRUE;
    SetErrnoError(&native);
    return FALSE;
}

BOOL RemoveDirectoryW(const wchar_t* path) {
    std::string native;
    if (!NativePath(path, native)) return FALSE;
    // As on Windows, a link to a folder goes by itself and what it points at
    // stays untouched.
    if (IsLinkToFolder(native)) {
        if (unlink(native.c_str()) == 0) return TRUE;
    } else if (rmdir(native.c_str()) == 0) {
        return TRUE;
    }
    SetErrnoError(&native);
    return FALSE;
}

bool AttributesAt(int folder, const char* name, DWORD& attributes, uint64_t& size) {
    struct stat info {};
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    if (S_ISLNK(info.st_mode)) {
        struct stat target {};
        const bool toFolder = fstatat(folder, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
        attributes = FILE_ATTRIBUTE_REPARSE_POINT | (toFolder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    } else {
        attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    }
    return true;
}

DWORD GetFileAttributesW(const wchar_t* path) {
    std::string native;
    if (!NativePath(path, native)) return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = 0;
    uint64_t size = 0;
    if (AttributesAt(AT_FDCWD, native.c_str(), attributes, size)) return attributes;
    SetErrnoError(&native);
    return INVALID_FILE_ATTRIBUTES;
}

}  // namespace linux_native
