// The native backend against real files in the working directory, written to
// Win32 semantics so the same checks hold on Windows and on Linux.
#include "platform/platform.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr DWORD Block = 1048576;
constexpr DWORD Unbuffered = FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;
constexpr DWORD Overlapped = FILE_FLAG_OVERLAPPED | Unbuffered;
constexpr DWORD WaitTimeoutCode = 258;

void* NewBlock() {
    return Platform.VirtualAlloc(nullptr, Block, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

HANDLE Open(const std::wstring& path, DWORD access, DWORD disposition, DWORD flags,
            DWORD share = 0) {
    return Platform.CreateFileW(path.c_str(), access, share, nullptr, disposition, flags,
                                nullptr);
}

const DWORD ReadWrite = GENERIC_READ | GENERIC_WRITE;

struct Completion {
    BOOL done;
    DWORD bytes;
    ULONG_PTR key;
    OVERLAPPED* record;
    DWORD code;
};

Completion Wait(HANDLE port, DWORD milliseconds = INFINITE) {
    Completion taken{FALSE, 0, 0, nullptr, 0};
    taken.done = Platform.GetQueuedCompletionStatus(port, &taken.bytes, &taken.key,
                                                    &taken.record, milliseconds);
    taken.code = taken.done ? 0 : Platform.GetLastError();
    return taken;
}

bool Started(BOOL result) {
    return result || Platform.GetLastError() == ERROR_IO_PENDING;
}

// Every test works in a folder of its own under the working directory.
class NativeSeam : public testing::Test {
protected:
    void SetUp() override {
        wchar_t here[1024];
        ASSERT_GT(Platform.GetCurrentDirectoryW(1024, here), 0u);
        folder = JoinPath(here, std::wstring(L"seam_") + WideFromUtf8(
            testing::UnitTest::GetInstance()->current_test_info()->name()));
        Remove(folder);
        ASSERT_TRUE(Platform.CreateDirectoryW(folder.c_str(), nullptr));
        buffer = static_cast<unsigned char*>(NewBlock());
        ASSERT_NE(buffer, nullptr);
    }

    void TearDown() override {
        if (buffer) Platform.VirtualFree(buffer, 0, MEM_RELEASE);
        Remove(folder);
    }

    // Deletes a folder's files and empty sub-folders, then the folder.
    static void Remove(const std::wstring& path) {
        WIN32_FIND_DATAW found;
        HANDLE search = Platform.FindFirstFileW(JoinPath(path, L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring entry = JoinPath(path, found.cFileName);
                if (!Platform.DeleteFileW(entry.c_str())) Platform.RemoveDirectoryW(entry.c_str());
            } while (Platform.FindNextFileW(search, &found));
            Platform.FindClose(search);
        }
        Platform.RemoveDirectoryW(path.c_str());
    }

    std::wstring In(const wchar_t* name) const { return JoinPath(folder, name); }

    // A file of blockCount blocks, block b filled with the byte 'a' + b.
    std::wstring MakeFile(const wchar_t* name, int blockCount) {
        const std::wstring path = In(name);
        HANDLE file = Open(path, ReadWrite, CREATE_ALWAYS, Unbuffered);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        for (int b = 0; b < blockCount; ++b) {
            std::memset(buffer, 'a' + b, Block);
            DWORD done = 0;
            EXPECT_TRUE(Platform.WriteFile(file, buffer, Block, &done, nullptr));
            EXPECT_EQ(done, Block);
        }
        Platform.CloseHandle(file);
        return path;
    }

    // An overlapped handle on the file, bound to a new port under key.
    HANDLE OpenOnPort(const std::wstring& path, DWORD access, ULONG_PTR key) {
        HANDLE file = Open(path, access, OPEN_EXISTING, Overlapped);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        port = Platform.CreateIoCompletionPort(file, nullptr, key, 1);
        EXPECT_NE(port, nullptr);
        return file;
    }

    static void At(OVERLAPPED& record, uint64_t offset) {
        record = OVERLAPPED{};
        record.Offset = static_cast<DWORD>(offset);
        record.OffsetHigh = static_cast<DWORD>(offset >> 32);
    }

    std::wstring folder;
    unsigned char* buffer = nullptr;
    HANDLE port = nullptr;
};

}  // namespace

TEST_F(NativeSeam, OverlappedReadsAndWritesCompleteThroughThePort) {
    const std::wstring path = MakeFile(L"data.bin", 3);
    HANDLE file = OpenOnPort(path, ReadWrite, 7);
    ASSERT_NE(port, nullptr);

    unsigned char* blocks[3];
    OVERLAPPED records[3];
    for (int b = 0; b < 3; ++b) {
        blocks[b] = static_cast<unsigned char*>(NewBlock());
        ASSERT_NE(blocks[b], nullptr);
        At(records[b], static_cast<uint64_t>(b) * Block);
        ASSERT_TRUE(Started(Platform.ReadFile(file, blocks[b], Block, nullptr, &records[b])));
    }
    std::set<OVERLAPPED*> seen;
    for (int n = 0; n < 3; ++n) {
        const Completion taken = Wait(port);
        ASSERT_TRUE(taken.done);
        EXPECT_EQ(taken.bytes, Block);
        EXPECT_EQ(taken.key, 7u);
        const auto b = taken.record - records;
        ASSERT_TRUE(b >= 0 && b < 3);
        seen.insert(taken.record);
        EXPECT_EQ(blocks[b][0], 'a' + b);
        EXPECT_EQ(blocks[b][Block - 1], 'a' + b);
    }
    EXPECT_EQ(seen.size(), 3u);

    std::memset(blocks[0], 'z', Block);
    At(records[0], Block);
    ASSERT_TRUE(Started(Platform.WriteFile(file, blocks[0], Block, nullptr, &records[0])));
    const Completion written = Wait(port);
    EXPECT_TRUE(written.done);
    EXPECT_EQ(written.record, &records[0]);
    EXPECT_EQ(written.bytes, Block);

    Platform.CloseHandle(port);
    Platform.CloseHandle(file);
    HANDLE check = Open(path, GENERIC_READ, OPEN_EXISTING, Unbuffered);
    ASSERT_NE(check, INVALID_HANDLE_VALUE);
    LARGE_INTEGER second{};
    second.QuadPart = Block;
    ASSERT_TRUE(Platform.SetFilePointerEx(check, second, nullptr, FILE_BEGIN));
    DWORD done = 0;
    ASSERT_TRUE(Platform.ReadFile(check, buffer, Block, &done, nullptr));
    EXPECT_EQ(done, Block);
    EXPECT_EQ(buffer[0], 'z');
    Platform.CloseHandle(check);
    for (unsigned char* block : blocks) Platform.VirtualFree(block, 0, MEM_RELEASE);
}

// Block 4096 lies beyond this one-block file only if OffsetHigh is honoured;
// the read then ends with ERROR_HANDLE_EOF, at once or through the port.
TEST_F(NativeSeam, ReadBeyondTheEndUsesOffsetHighAndFails) {
    HANDLE file = OpenOnPort(MakeFile(L"short.bin", 1), GENERIC_READ, 0);
    ASSERT_NE(port, nullptr);
    OVERLAPPED record;
    At(record, 4096ull * Block);
    EXPECT_EQ(record.Offset, 0u);
    EXPECT_EQ(record.OffsetHigh, 1u);
    const BOOL started = Platform.ReadFile(file, buffer, Block, nullptr, &record);
    const DWORD code = Platform.GetLastError();
    ASSERT_FALSE(started);
    if (code == ERROR_IO_PENDING) {
        const Completion taken = Wait(port);
        EXPECT_FALSE(taken.done);
        EXPECT_EQ(taken.record, &record);
        EXPECT_EQ(taken.code, ERROR_HANDLE_EOF);
        EXPECT_EQ(taken.bytes, 0u);
    } else {
        EXPECT_EQ(code, ERROR_HANDLE_EOF);
    }
    Platform.CloseHandle(port);
    Platform.CloseHandle(file);
}

// After a cancel every request still comes back once, done or aborted, and
// nothing else does: the cancel itself never shows up as a completion.
TEST_F(NativeSeam, CancelledRequestsAreDrainedFromThePort) {
    HANDLE file = OpenOnPort(MakeFile(L"cancel.bin", 1), GENERIC_READ, 0);
    ASSERT_NE(port, nullptr);
    OVERLAPPED records[8];
    unsigned char* blocks[8];
    int issued = 0;
    for (int i = 0; i < 8; ++i) {
        blocks[i] = static_cast<unsigned char*>(NewBlock());
        ASSERT_NE(blocks[i], nullptr);
        At(records[i], 0);
        if (Started(Platform.ReadFile(file, blocks[i], Block, nullptr, &records[i]))) ++issued;
    }
    EXPECT_EQ(issued, 8);
    Platform.CancelIoEx(file, nullptr);
    for (int n = 0; n < issued; ++n) {
        const Completion taken = Wait(port);
        ASSERT_NE(taken.record, nullptr);
        if (taken.done) {
            EXPECT_EQ(taken.bytes, Block);
        } else {
            EXPECT_EQ(taken.code, ERROR_OPERATION_ABORTED);
        }
    }
    const Completion none = Wait(port, 0);
    EXPECT_FALSE(none.done);
    EXPECT_EQ(none.record, nullptr);
    EXPECT_EQ(none.code, WaitTimeoutCode);
    Platform.CloseHandle(port);
    Platform.CloseHandle(file);
    for (unsigned char* block : blocks) Platform.VirtualFree(block, 0, MEM_RELEASE);
}

#ifndef _WIN32
// Closing a port and its file with requests still in flight retires them
// before anything is released, so the buffers can be freed right after.
TEST_F(NativeSeam, ClosingWithRequestsInFlightRetiresThem) {
    HANDLE file = OpenOnPort(MakeFile(L"abandon.bin", 1), GENERIC_READ, 0);
    ASSERT_NE(port, nullptr);
    OVERLAPPED records[8];
    unsigned char* blocks[8];
    for (int i = 0; i < 8; ++i) {
        blocks[i] = static_cast<unsigned char*>(NewBlock());
        ASSERT_NE(blocks[i], nullptr);
        At(records[i], 0);
        EXPECT_TRUE(Started(Platform.ReadFile(file, blocks[i], Block, nullptr, &records[i])));
    }
    EXPECT_TRUE(Platform.CloseHandle(port));
    EXPECT_FALSE(Platform.CloseHandle(port));
    EXPECT_TRUE(Platform.CloseHandle(file));
    for (unsigned char* block : blocks) EXPECT_TRUE(Platform.VirtualFree(block, 0, MEM_RELEASE));
}
#endif

TEST_F(NativeSeam, FailuresCarryTheWindowsCodes) {
    const std::wstring missingFolder = JoinPath(In(L"absent"), L"file.bin");
    EXPECT_EQ(Open(missingFolder, GENERIC_READ, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open(missingFolder, ReadWrite, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(Open(In(L"absent.bin"), GENERIC_READ, OPEN_EXISTING, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Platform.GetFileAttributesW(In(L"absent.bin").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Platform.GetLastError(), ERROR_FILE_NOT_FOUND);

    EXPECT_FALSE(Platform.CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_EQ(Platform.GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(Platform.GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(Platform.DeleteFileW(folder.c_str()));
    EXPECT_EQ(Platform.GetLastError(), ERROR_ACCESS_DENIED);

    MakeFile(L"keep.bin", 1);
    EXPECT_FALSE(Platform.RemoveDirectoryW(folder.c_str()));
    EXPECT_EQ(Platform.GetLastError(), ERROR_DIR_NOT_EMPTY);

    const std::wstring longName(300, L'n');
    EXPECT_EQ(Open(In(longName.c_str()), ReadWrite, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
#ifndef _WIN32
    EXPECT_EQ(Platform.GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    EXPECT_EQ(Open(L"\\\\.\\PhysicalDrive0", GENERIC_READ, OPEN_EXISTING, 0, 3),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_FILE_NOT_FOUND);
#endif
    EXPECT_FALSE(Platform.DeviceIoControl(INVALID_HANDLE_VALUE, IoctlDiskGetLengthInfo, nullptr,
                                          0, buffer, 8, nullptr, nullptr));
}

TEST_F(NativeSeam, AFileOpenedWithoutSharingIsExclusive) {
    const std::wstring path = MakeFile(L"held.bin", 1);
    HANDLE held = Open(path, ReadWrite, OPEN_EXISTING, 0);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path, ReadWrite, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Open(path, GENERIC_READ, OPEN_EXISTING, 0, FILE_SHARE_READ | FILE_SHARE_WRITE),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_SHARING_VIOLATION);
    Platform.CloseHandle(held);

    // The refused CREATE_ALWAYS left the content alone.
    HANDLE again = Open(path, GENERIC_READ, OPEN_EXISTING, Unbuffered);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    EXPECT_TRUE(Platform.ReadFile(again, buffer, Block, &done, nullptr));
    EXPECT_EQ(done, Block);
    EXPECT_EQ(buffer[0], 'a');
    Platform.CloseHandle(again);

    // Deletion needs FILE_SHARE_DELETE from every handle open, whatever else
    // they share: a backend that tells a held file by a shared lock would
    // miss the handles that share reading.
    const DWORD shares[] = {0, FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE};
    for (const DWORD share : shares) {
        SCOPED_TRACE(share);
        held = Open(path, GENERIC_READ, OPEN_EXISTING, 0, share);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_FALSE(Platform.DeleteFileW(path.c_str()));
        EXPECT_EQ(Platform.GetLastError(), ERROR_SHARING_VIOLATION);
        Platform.CloseHandle(held);
    }
    EXPECT_TRUE(Platform.DeleteFileW(path.c_str()));
}

namespace {

BY_HANDLE_FILE_INFORMATION InformationOf(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION information{};
    EXPECT_TRUE(Platform.GetFileInformationByHandle(handle, &information));
    return information;
}

bool SameObject(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

BOOL DeleteThrough(HANDLE handle) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return Platform.SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                               sizeof(disposition));
}

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD AsFolder = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

}  // namespace

TEST_F(NativeSeam, NewFilesIdentitiesAndDeletionThroughAHandle) {
    const std::wstring path = In(L"new.bin");
    HANDLE made = Open(path, ReadWrite, CREATE_NEW, 0);
    ASSERT_NE(made, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(path, ReadWrite, CREATE_NEW, 0, ShareAll), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_FILE_EXISTS);
    const BY_HANDLE_FILE_INFORMATION first = InformationOf(made);
    Platform.CloseHandle(made);

    HANDLE again = Open(path, DELETE | FILE_READ_ATTRIBUTES, OPEN_EXISTING, 0, ShareAll);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SameObject(InformationOf(again), first));
    HANDLE other = Open(MakeFile(L"other.bin", 1), GENERIC_READ, OPEN_EXISTING, 0, ShareAll);
    EXPECT_FALSE(SameObject(InformationOf(other), first));
    EXPECT_FALSE(DeleteThrough(other));  // opened without DELETE
    EXPECT_EQ(Platform.GetLastError(), ERROR_ACCESS_DENIED);
    Platform.CloseHandle(other);
    EXPECT_TRUE(DeleteThrough(again));
    Platform.CloseHandle(again);
    EXPECT_EQ(Platform.GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

    // A folder opens only as itself, and goes through its handle once empty.
    const std::wstring sub = In(L"sub");
    ASSERT_TRUE(Platform.CreateDirectoryW(sub.c_str(), nullptr));
    EXPECT_EQ(Open(sub, GENERIC_READ, OPEN_EXISTING, 0, ShareAll), INVALID_HANDLE_VALUE);
    HANDLE folderHandle = Open(sub, GENERIC_READ | DELETE, OPEN_EXISTING, AsFolder,
                               FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(folderHandle, INVALID_HANDLE_VALUE);
    EXPECT_NE(InformationOf(folderHandle).dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    const std::wstring inside = JoinPath(sub, L"inside.bin");
    Platform.CloseHandle(Open(inside, ReadWrite, CREATE_NEW, 0));
    EXPECT_FALSE(DeleteThrough(folderHandle));
    EXPECT_EQ(Platform.GetLastError(), ERROR_DIR_NOT_EMPTY);
    EXPECT_TRUE(Platform.DeleteFileW(inside.c_str()));
    EXPECT_TRUE(DeleteThrough(folderHandle));
    Platform.CloseHandle(folderHandle);
    EXPECT_EQ(Platform.GetFileAttributesW(sub.c_str()), INVALID_FILE_ATTRIBUTES);
}

#ifndef _WIN32
// A link at the name: never created through, opened as itself when asked,
// and a handle whose name now leads elsewhere deletes nothing.
TEST_F(NativeSeam, LinksAndSwappedNamesAreNeverGoneThrough) {
    const std::wstring target = MakeFile(L"target.bin", 1);
    const std::wstring link = In(L"link.bin");
    ASSERT_EQ(symlink("target.bin", Utf8FromWide(link).c_str()), 0);
    EXPECT_EQ(Open(link, ReadWrite, CREATE_NEW, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_FILE_EXISTS);
    HANDLE itself = Open(link, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, ShareAll);
    ASSERT_NE(itself, INVALID_HANDLE_VALUE);
    EXPECT_EQ(InformationOf(itself).dwFileAttributes, FILE_ATTRIBUTE_REPARSE_POINT);
    Platform.CloseHandle(itself);

    const std::wstring ours = MakeFile(L"ours.bin", 1);
    HANDLE deleter = Open(ours, DELETE | FILE_READ_ATTRIBUTES, OPEN_EXISTING, 0, ShareAll);
    ASSERT_NE(deleter, INVALID_HANDLE_VALUE);
    ASSERT_EQ(rename(Utf8FromWide(target).c_str(), Utf8FromWide(ours).c_str()), 0);
    EXPECT_FALSE(DeleteThrough(deleter));
    EXPECT_EQ(Platform.GetLastError(), ERROR_ACCESS_DENIED);
    Platform.CloseHandle(deleter);
    EXPECT_NE(Platform.GetFileAttributesW(ours.c_str()), INVALID_FILE_ATTRIBUTES);
}
#endif

TEST_F(NativeSeam, SynchronousHandlesKeepTheirOwnPosition) {
    const std::wstring path = MakeFile(L"sized.bin", 2);
    HANDLE file = Open(path, ReadWrite, OPEN_EXISTING, Unbuffered);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER zero{}, position{};
    ASSERT_TRUE(Platform.SetFilePointerEx(file, zero, &position, 2 /* FILE_END */));
    EXPECT_EQ(position.QuadPart, 2 * Block);

    ASSERT_TRUE(Platform.SetFilePointerEx(file, zero, nullptr, FILE_BEGIN));
    DWORD done = 0;
    ASSERT_TRUE(Platform.ReadFile(file, buffer, Block, &done, nullptr));
    ASSERT_TRUE(Platform.ReadFile(file, buffer, Block, &done, nullptr));
    EXPECT_EQ(buffer[0], 'b');
    ASSERT_TRUE(Platform.SetFilePointerEx(file, zero, &position, 1 /* FILE_CURRENT */));
    EXPECT_EQ(position.QuadPart, 2 * Block);
    EXPECT_TRUE(Platform.ReadFile(file, buffer, Block, &done, nullptr));
    EXPECT_EQ(done, 0u);

    LARGE_INTEGER length{};
    length.QuadPart = 5 * Block;
    ASSERT_TRUE(Platform.SetFilePointerEx(file, length, nullptr, FILE_BEGIN));
    ASSERT_TRUE(Platform.SetEndOfFile(file));
    length.QuadPart = Block;
    ASSERT_TRUE(Platform.SetFilePointerEx(file, length, nullptr, FILE_BEGIN));
    ASSERT_TRUE(Platform.SetEndOfFile(file));
    ASSERT_TRUE(Platform.SetFilePointerEx(file, zero, &position, 2 /* FILE_END */));
    EXPECT_EQ(position.QuadPart, Block);
    EXPECT_TRUE(Platform.FlushFileBuffers(file));
    Platform.CloseHandle(file);
}

// The names a held folder's listing gives, read in answers of `bytes` each.
std::multiset<std::wstring> ListThrough(HANDLE folder, DWORD bytes) {
    std::vector<uint64_t> buffer(bytes / sizeof(uint64_t));
    std::multiset<std::wstring> names;
    FILE_INFO_BY_HANDLE_CLASS infoClass = FileIdBothDirectoryRestartInfo;
    while (Platform.GetFileInformationByHandleEx(folder, infoClass, buffer.data(), bytes)) {
        infoClass = FileIdBothDirectoryInfo;
        const auto* at = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* record = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            names.insert(std::wstring(record->FileName, record->FileNameLength / sizeof(wchar_t)));
            if (record->NextEntryOffset == 0) break;
            at += record->NextEntryOffset;
        }
    }
    EXPECT_EQ(Platform.GetLastError(), ERROR_NO_MORE_FILES);
    return names;
}

// Listing and opening through a held folder's handle: every entry once,
// across answers too small for all, and nothing outside the folder.
TEST_F(NativeSeam, AHeldFolderIsListedAndOpenedThroughItsHandle) {
    std::multiset<std::wstring> expected = {L".", L"..", L"inner"};
    for (int i = 0; i < 300; ++i) {
        const std::wstring name = L"entry_" + std::to_wstring(i);
        Platform.CloseHandle(Open(In(name.c_str()), ReadWrite, CREATE_NEW, 0));
        expected.insert(name);
    }
    ASSERT_TRUE(Platform.CreateDirectoryW(In(L"inner").c_str(), nullptr));
    HANDLE held = Open(folder, GENERIC_READ | DELETE | FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                       AsFolder | FILE_FLAG_OPEN_REPARSE_POINT, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ListThrough(held, 1024), expected);
    EXPECT_EQ(ListThrough(held, 65536), expected);

    const DWORD access = DELETE | FILE_READ_ATTRIBUTES;
    const DWORD asItself = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
    for (const wchar_t* outside : {L"..", L".", L""}) {
        EXPECT_EQ(Platform.OpenFileRelative(held, outside, access, ShareAll, asItself), INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(Platform.OpenFileRelative(held, L"absent", access, ShareAll, asItself), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_FILE_NOT_FOUND);
    for (const wchar_t* name : {L"entry_7", L"inner"}) {
        HANDLE entry = Platform.OpenFileRelative(held, name, access, ShareAll, asItself);
        ASSERT_NE(entry, INVALID_HANDLE_VALUE);
        FILE_ATTRIBUTE_TAG_INFO tag{};
        ASSERT_TRUE(Platform.GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &tag, sizeof(tag)));
        EXPECT_EQ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, std::wstring(name) == L"inner");
        EXPECT_TRUE(DeleteThrough(entry));
        Platform.CloseHandle(entry);
        EXPECT_EQ(Platform.GetFileAttributesW(In(name).c_str()), INVALID_FILE_ATTRIBUTES);
    }
    Platform.CloseHandle(held);
}

TEST_F(NativeSeam, FindListsEveryEntryWithDotsFirst) {
    MakeFile(L"one.bin", 1);
    ASSERT_TRUE(Platform.CreateDirectoryW(In(L"inner").c_str(), nullptr));
    WIN32_FIND_DATAW found;
    HANDLE search = Platform.FindFirstFileW(In(L"*.*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(found.cFileName, L".");
    ASSERT_TRUE(Platform.FindNextFileW(search, &found));
    EXPECT_STREQ(found.cFileName, L"..");
    std::set<std::wstring> names;
    while (Platform.FindNextFileW(search, &found)) {
        names.insert(found.cFileName);
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        EXPECT_EQ(isFolder, std::wstring(found.cFileName) == L"inner");
        if (!isFolder) {
            EXPECT_EQ(found.nFileSizeLow, Block);
        }
    }
    EXPECT_EQ(Platform.GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_EQ(names, (std::set<std::wstring>{L"one.bin", L"inner"}));
    EXPECT_TRUE(Platform.FindClose(search));

    EXPECT_EQ(Platform.FindFirstFileW(JoinPath(In(L"absent"), L"*").c_str(), &found),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(Platform.GetLastError(), ERROR_PATH_NOT_FOUND);
}

#ifndef _WIN32
// A link to a folder is a reparse point: listed and examined as one, and
// removed as a folder entry by itself, never through what it points at.
TEST_F(NativeSeam, LinksToFoldersAreReparsePointsAndNotFollowed) {
    ASSERT_TRUE(Platform.CreateDirectoryW(In(L"target").c_str(), nullptr));
    ASSERT_EQ(symlink("target", Utf8FromWide(In(L"link")).c_str()), 0);
    const DWORD linkAttributes = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_EQ(Platform.GetFileAttributesW(In(L"link").c_str()), linkAttributes);

    WIN32_FIND_DATAW found;
    HANDLE search = Platform.FindFirstFileW(In(L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    DWORD listed = 0;
    while (Platform.FindNextFileW(search, &found)) {
        if (std::wstring(found.cFileName) == L"link") listed = found.dwFileAttributes;
    }
    Platform.FindClose(search);
    EXPECT_EQ(listed, linkAttributes);

    ASSERT_TRUE(Platform.CreateDirectoryW(In(L"target/inside").c_str(), nullptr));
    EXPECT_FALSE(Platform.DeleteFileW(In(L"link").c_str()));
    EXPECT_EQ(Platform.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Platform.RemoveDirectoryW(In(L"link").c_str()));
    EXPECT_EQ(Platform.GetFileAttributesW(In(L"link").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Platform.GetFileAttributesW(In(L"target/inside").c_str()),
              FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(Platform.RemoveDirectoryW(In(L"target/inside").c_str()));
}
#endif

#ifndef _WIN32
// A name that is not UTF-8, made by the kernel's own calls, is listed with
// its bytes escaped and reached again through that listed name.
TEST_F(NativeSeam, NamesThatAreNotUtf8AreListedAndReachedAgain) {
    const std::string rawName = "caf\xE9\xFF.bin";
    const std::string rawFolder = PathBytesFromWide(folder) + "/" + rawName;
    ASSERT_EQ(mkdir(rawFolder.c_str(), 0755), 0);
    WIN32_FIND_DATAW found;
    HANDLE search = Platform.FindFirstFileW(In(L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::wstring listed;
    while (Platform.FindNextFileW(search, &found)) listed = found.cFileName;
    Platform.FindClose(search);
    EXPECT_EQ(listed, WideFromUtf8(rawName));
    const std::wstring inner = JoinPath(JoinPath(folder, listed), L"inner.bin");
    HANDLE file = Open(inner, ReadWrite, CREATE_ALWAYS, Unbuffered);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Platform.CloseHandle(file);
    EXPECT_EQ(access((rawFolder + "/inner.bin").c_str(), F_OK), 0);
    EXPECT_TRUE(Platform.DeleteFileW(inner.c_str()));
    EXPECT_TRUE(Platform.RemoveDirectoryW(JoinPath(folder, listed).c_str()));
    EXPECT_NE(access(rawFolder.c_str(), F_OK), 0);
}
#endif

TEST_F(NativeSeam, MemoryClocksAndTexts) {
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 4096, 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[Block - 1], 0);
#ifndef _WIN32
    // A 1 MiB buffer starts on a huge page, so its request reaches the device whole.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % (2 * Block), 0u);
#endif
    auto* small = static_cast<unsigned char*>(
        Platform.VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(small) % 4096, 0u);
    small[4095] = 1;
    EXPECT_TRUE(Platform.VirtualFree(small, 0, MEM_RELEASE));

    LARGE_INTEGER frequency{}, first{}, second{};
    ASSERT_TRUE(Platform.QueryPerformanceFrequency(&frequency));
    ASSERT_TRUE(Platform.QueryPerformanceCounter(&first));
    Platform.Sleep(20);
    ASSERT_TRUE(Platform.QueryPerformanceCounter(&second));
    EXPECT_GE((second.QuadPart - first.QuadPart) * 1000 / frequency.QuadPart, 15);

    const DWORD needed = Platform.GetCurrentDirectoryW(0, nullptr);
    wchar_t here[1024];
    EXPECT_EQ(Platform.GetCurrentDirectoryW(1024, here), needed - 1);
    EXPECT_EQ(Platform.GetCurrentDirectoryW(needed - 1, here), needed);

    wchar_t module[4];
    EXPECT_EQ(Platform.GetModuleFileNameW(nullptr, module, 4), 4u);

    const char latin[] = "\xC9t\xE9";
    EXPECT_EQ(Platform.MultiByteToWideChar(CP_ACP, 0, latin, -1, nullptr, 0), 4);
    wchar_t wide[4];
    EXPECT_EQ(Platform.MultiByteToWideChar(CP_ACP, 0, latin, -1, wide, 4), 4);
    EXPECT_STREQ(wide, L"\u00C9t\u00E9");
    EXPECT_EQ(Platform.MultiByteToWideChar(CP_ACP, 0, latin, 2, wide, 1), 0);

    wchar_t text[] = L"Disk 0a";
    EXPECT_STREQ(Platform.CharUpperW(text), L"DISK 0A");
}

#ifndef _WIN32
// The file system's name comes from statfs; FAT's "vfat" is what a run
// refuses big test files on.
TEST_F(NativeSeam, VolumeNamesAndOrdinalComparison) {
    wchar_t name[MAX_PATH + 1];
    ASSERT_TRUE(Platform.GetVolumeInformationW(L"/dev/shm/", nullptr, 0, nullptr, nullptr, nullptr,
                                               name, MAX_PATH + 1));
    EXPECT_STREQ(name, L"tmpfs");
    EXPECT_FALSE(Platform.GetVolumeInformationW(L"/dev/shm/", nullptr, 0, nullptr, nullptr,
                                                nullptr, name, 5));
    EXPECT_EQ(Platform.GetLastError(), ERROR_MORE_DATA);
    EXPECT_FALSE(Platform.GetVolumeInformationW(In(L"missing/").c_str(), nullptr, 0, nullptr,
                                                nullptr, nullptr, name, MAX_PATH + 1));
    EXPECT_EQ(Platform.GetLastError(), ERROR_FILE_NOT_FOUND);
    // The same from a folder's own handle, through fstatfs.
    const HANDLE folder = Platform.CreateFileW(L"/dev/shm", 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    name[0] = L'\0';
    EXPECT_TRUE(Platform.GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, nullptr,
                                                       name, MAX_PATH + 1));
    EXPECT_STREQ(name, L"tmpfs");
    Platform.CloseHandle(folder);
    EXPECT_FALSE(Platform.GetVolumeInformationByHandleW(INVALID_HANDLE_VALUE, nullptr, 0, nullptr,
                                                        nullptr, nullptr, name, MAX_PATH + 1));
    EXPECT_EQ(Platform.GetLastError(), ERROR_INVALID_HANDLE);

    EXPECT_EQ(Platform.CompareStringOrdinal(L"Tmp\u00E9", -1, L"tMP\u00C9", 4, TRUE), CSTR_EQUAL);
    EXPECT_EQ(Platform.CompareStringOrdinal(L"Tmp", -1, L"tmp", -1, FALSE), CSTR_LESS_THAN);
    EXPECT_EQ(Platform.CompareStringOrdinal(L"tmpa", -1, L"tmp", -1, TRUE), CSTR_GREATER_THAN);
}
#endif
