// A scripted stand-in for the operating system behind the seam: an in-memory
// file system, overlapped requests that complete through fake ports, a fake
// clock, injectable failures, and a ledger of every handle and allocation so a
// test can prove that a path released everything it opened.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

// A fresh file index for every node made, as a file system gives one to
// every new file; a copied node keeps its own.
uint64_t NewFakeFileIndex();

// The volume every node is on unless a test puts it on another.
constexpr uint64_t FakeVolumeSerial = 0x0BEE5EED5EED0001;
// A Files-On-Demand placeholder's tag (IO_REPARSE_TAG_CLOUD_6): a reparse
// point, but not a name surrogate.
constexpr DWORD FakeCloudTag = 0x9000601Au;

struct FakeNode {
    bool directory = false;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;  // FILE_ATTRIBUTE_REPARSE_POINT marks a reparse point
    DWORD reparseTag = 0;                      // what a search gives for a reparse point
    std::string bytes;
    int openCount = 0;
    // A link: a folder's (a junction) resolves names inside it there; a
    // file's leads an open there unless FILE_FLAG_OPEN_REPARSE_POINT is given.
    std::wstring linkTarget;
    uint64_t fileIndex = NewFakeFileIndex();
    bool deletePending = false;  // goes when its last handle is closed
    // Its volume's 64-bit serial (GetFileInformationByHandle tells the low 32
    // bits) and the upper half of its 128-bit file id, which only FileIdInfo
    // tells (ReFS gives ids that differ there alone).
    uint64_t volume = FakeVolumeSerial;
    uint64_t fileIdHigh = 0;
    // How far the file holds written data; see FakeState::validDataLengths.
    uint64_t validBytes = 0;
};

// One overlapped request, in issue order.
struct FakeRequest {
    HANDLE file = nullptr;
    OVERLAPPED* overlapped = nullptr;
    const void* buffer = nullptr;
    DWORD bytes = 0;
    bool isWrite = false;
    uint64_t offset = 0;
    bool completed = false;  // taken from the port
    bool cancelled = false;
    bool synchronous = false;  // done before its call returned; its completion still queued
};

struct FakeHandle {
    enum class Kind { File, Port, Search, Device, Token, Thread } kind = Kind::File;
    std::wstring path;
    DWORD access = 0;
    DWORD share = 0;
    DWORD flags = 0;
    uint64_t position = 0;
    HANDLE port = nullptr;             // for a file bound to a port
    std::vector<std::wstring> names;   // for a search: the names still to give
    ULONG_PTR key = 0;                 // for a file bound to a port: its completion key
    uint64_t fileIndex = 0;            // the object opened, whatever its name leads to later
    DWORD attributes = 0;
    bool posixDelete = false;          // its name goes when this handle closes
    uint64_t volume = 0;               // the object's, as fileIndex
    uint64_t fileIdHigh = 0;
    bool privileged = false;  // opened while the volume privilege was enabled
};

// The arguments the portable code gave, so a test can hold them to what the
// calls must be.
struct FakeOpen {
    std::wstring path;  // resolved
    DWORD access = 0;
    DWORD share = 0;
    DWORD disposition = 0;
    DWORD flags = 0;
};

struct FakePortCall {
    ULONG_PTR key = 0;
    DWORD threads = 0;
};

struct FakeState {
    // File system. Keys are full paths as the portable code builds them with
    // PathSeparator; relative paths are taken from currentDirectory.
    std::wstring currentDirectory;
    std::map<std::wstring, FakeNode> nodes;
    std::set<std::wstring> devices;  // paths that open as devices ("\\.\C:")
    // Searches show a folder link as the folder it leads to, as some
    // backends' do; GetFileAttributesW still shows the link.
    bool searchFollowsLinks = false;
    // FileDispositionInfoEx as NTFS takes it; false plays FAT, which
    // refuses it with ERROR_INVALID_PARAMETER.
    bool posixDeleteSupported = true;

    // Clock. Each QueryPerformanceCounter call returns counterAt(readIndex)
    // when set, else counter, which then advances by ticksPerRead.
    int64_t frequency = 10'000'000;
    int64_t counter = 0;
    int64_t ticksPerRead = 1'000'000;
    std::function<int64_t(int64_t readIndex)> counterAt;
    int64_t counterReads = 0;
    DWORD tickCount = 0x0001A2F0;
    SYSTEMTIME localTime = {2026, 12, 1, 7, 15, 30, 45, 0};
    int64_t sleptMs = 0;
    int timerPeriodCalls = 0;
    std::vector<DWORD> waitTimeouts;  // each GetQueuedCompletionStatus's milliseconds

    // Overlapped requests in issue order; completionBytes decides the byte
    // count a request completes with (default: all it asked for).
    std::vector<FakeRequest> requests;
    std::function<DWORD(const FakeRequest&)> completionBytes;
    // Completions come newest first instead of oldest first, so the oldest
    // request stays in flight while later ones come and go.
    bool newestFirst = false;
    // The most completions one GetQueuedCompletionStatusEx hands back: 1
    // models completions that come one at a time, more a burst.
    ULONG completionsPerWait = 1;
    // Decides the byte count a synchronous ReadFile/WriteFile at a file
    // position moves and reports (default: all it was asked for).
    std::function<DWORD(uint64_t position, DWORD bytes)> syncTransferBytes;
    // NTFS as Windows documents it: an overlapped request that reaches past
    // the file's valid data length is done synchronously (the call returns
    // TRUE at once) and a write moves that length on; SetEndOfFile leaves it
    // where it is and only SetFileValidData moves it ahead. Writes to an
    // encrypted (EFS) file are always synchronous. mostPending is the most
    // requests that were ever pending at once.
    bool validDataLengths = false;
    int64_t mostPending = 0;
    // The process may enable SeManageVolumePrivilege (it runs elevated);
    // AdjustTokenPrivileges then enables it, else it answers ERROR_NOT_ALL_ASSIGNED.
    bool volumePrivilegeHeld = true;
    bool volumePrivilegeEnabled = false;
    // The file system tells FileIdInfo (NTFS, ReFS); FAT does not.
    bool fileIdInfo = true;

    // Storage queries: answers DeviceIoControl for a handle opened on path.
    std::function<BOOL(const std::wstring& path, DWORD code, const void* input,
                       DWORD inputBytes, void* output, DWORD outputBytes, DWORD* returned)>
        deviceControl;
    std::map<std::wstring, uint64_t> volumeTotalBytes;  // root ("C:\") -> bytes
    // Volumes as Windows names them: where each is mounted (a drive "D:" or
    // a folder) -> its GUID path without the trailing separator
    // ("\\?\Volume{...}"). A folder's final path is given on the volume of
    // its longest mount; without one, GetFinalPathNameByHandleW fails as
    // under Wine.
    std::map<std::wstring, std::wstring> volumeMounts;
    // Volume root with its trailing separator -> file system name ("NTFS").
    std::map<std::wstring, std::wstring> fileSystems;
    // Windows without the long-path setting: a full path of MAX_PATH
    // characters or more (CreateDirectoryW: MAX_PATH - 12) fails unless it
    // has the "\\?\" prefix. Every such path is counted in longPathCalls.
    bool longPathsLimited = true;
    int longPathCalls = 0;
    std::wstring moduleFileName;

    // Called at the start of every seam call with its name and its 1-based
    // count; a test raises the stop flag or changes the script from here.
    std::function<void(const std::string& call, int count)> beforeCall;

    // Bookkeeping.
    std::map<std::string, int> callCounts;
    std::vector<std::string> log;  // "CloseHandle port", "VirtualFree", ... in order
    std::vector<FakeOpen> opens;          // every CreateFileW, also the failed ones
    std::vector<FakePortCall> portCalls;  // every CreateIoCompletionPort
    std::map<HANDLE, FakeHandle> handles;
    std::map<void*, size_t> allocations;
    // Threads run for real; every other call of the fake holds one lock, so
    // the state above sees one call at a time.
    std::map<HANDLE, std::thread> threads;
    std::vector<std::string> violations;  // misuse seen: freeing a buffer in flight, ...

    struct Failure {
        int skip;  // matching calls to let through first
        DWORD code;
    };
    std::map<std::string, std::deque<Failure>> failures;
};

// Installs a fresh fake as the process-wide table; RemoveFake restores the
// native backend.
FakeState& InstallFake();
void RemoveFake();
FakeState& Fake();

// The next call of `call` after `skip` others fails with `code`. Names are
// the seam's entry names; "Completion" fails a completion taken from a port
// (GetQueuedCompletionStatus returns FALSE with its record;
// GetQueuedCompletionStatusEx leaves a failure status in the record).
void FailCall(const std::string& call, DWORD code, int skip = 0);

// File system helpers for tests.
std::wstring FakePath(const std::wstring& relative);  // currentDirectory + separator + relative
void AddFakeFolder(const std::wstring& path);
void AddFakeFile(const std::wstring& path, const std::string& bytes);
// A folder link (a junction) at path that points at target.
void AddFakeLink(const std::wstring& path, const std::wstring& target);
// A symbolic link to a file at path that points at target.
void AddFakeFileLink(const std::wstring& path, const std::wstring& target);
// A second name of the existing file (same index; the fake keeps its own bytes).
void AddFakeHardLink(const std::wstring& path, const std::wstring& existing);
bool FakeExists(const std::wstring& path);
std::string FakeFileBytes(const std::wstring& path);

// Answers IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS for a volume with one extent
// on each of disks, as Windows does: ERROR_INSUFFICIENT_BUFFER below the
// 8-byte header, ERROR_MORE_DATA with the count filled in when not every
// extent fits, ERROR_INVALID_FUNCTION for a volume without extents.
BOOL AnswerVolumeExtents(const std::vector<uint32_t>& disks, void* output, DWORD outputBytes,
                         DWORD* returned);

// What is still open: handles of any kind and allocations.
size_t OpenHandleCount();
// timeBeginPeriod calls over the whole process, whichever fake was installed:
// the program raises the timer resolution once per process.
int ProcessTimerPeriodCalls();
size_t OpenAllocationCount();
size_t RequestsInFlight();
