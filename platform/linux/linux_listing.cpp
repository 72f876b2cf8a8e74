// A held folder's listing in the manner of GetFileInformationByHandleEx's
// FileIdBothDirectoryInfo: read through the folder's own descriptor.
#include "platform/linux/linux_native.h"

#include "platform/text.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace linux_native {

namespace {

constexpr size_t NameAt = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);

// Records follow each other on 8-byte boundaries, as Windows lays them out.
size_t RecordBytes(size_t nameChars) {
    return (NameAt + nameChars * sizeof(wchar_t) + 7) & ~size_t{7};
}

// The listing reads a descriptor of its own, so the handle's stays as it was.
DIR* ListingOf(FileObject* folder, bool restart) {
    if (folder->listing == nullptr) {
        const int fd = fcntl(folder->fd, F_DUPFD_CLOEXEC, 0);
        DIR* listing = fd < 0 ? nullptr : fdopendir(fd);
        if (listing == nullptr) {
            SetErrnoError();
            if (fd >= 0) close(fd);
            return nullptr;
        }
        folder->listing = listing;
    }
    if (restart) rewinddir(static_cast<DIR*>(folder->listing));
    return static_cast<DIR*>(folder->listing);
}

void Fill(FILE_ID_BOTH_DIR_INFO* record, const std::wstring& name, ino_t inode, DWORD attributes,
          uint64_t size) {
    std::memset(static_cast<void*>(record), 0, NameAt);
    record->FileAttributes = attributes;
    record->EndOfFile.QuadPart = static_cast<int64_t>(size);
    record->FileId.QuadPart = static_cast<int64_t>(inode);
    record->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(record->FileName, name.data(), name.size() * sizeof(wchar_t));
}

}  // namespace

BOOL ListHeldFolder(FileObject* folder, bool restart, LPVOID information, DWORD bytes) {
    DIR* listing = ListingOf(folder, restart);
    if (listing == nullptr) return FALSE;
    auto* out = static_cast<unsigned char*>(information);
    size_t used = 0;
    size_t lastAt = 0;
    bool ended = false;
    while (!ended) {
        const long at = telldir(listing);
        const dirent* entry = readdir(listing);
        DWORD attributes = 0;
        uint64_t size = 0;
        ended = entry == nullptr;
        // An entry removed since the listing was read is passed over.
        if (ended || !AttributesAt(dirfd(listing), entry->d_name, attributes, size)) continue;
        const std::wstring name = WideFromUtf8(entry->d_name);
        if (out == nullptr || used + RecordBytes(name.size()) > bytes) {
            seekdir(listing, at);  // the next call gives it
            break;
        }
        auto* record = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(out + used);
        Fill(record, name, entry->d_ino, attributes, size);
        if (used != 0) reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(out + lastAt)->NextEntryOffset = static_cast<DWORD>(used - lastAt);
        lastAt = used;
        used += RecordBytes(name.size());
    }
    if (used != 0) return TRUE;
    SetError(ended ? ERROR_NO_MORE_FILES : ERROR_MORE_DATA);
    return FALSE;
}

void CloseListing(FileObject* folder) {
    if (folder->listing != nullptr) closedir(static_cast<DIR*>(folder->listing));
    folder->listing = nullptr;
}

}  // namespace linux_native
