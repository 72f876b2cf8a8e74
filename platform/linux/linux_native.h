// Pieces the Linux backend's files share: the objects behind a HANDLE, the
// last-error slot and the errno translation, and the entries of the table.
#pragma once

#include "platform/platform.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/stat.h>

namespace linux_native {

// The first member of every object behind a HANDLE, so a handle of the wrong
// kind (or garbage) is refused instead of misread.
enum class HandleKind : uint32_t {
    File = 0x656C6946,    // "File"
    Port = 0x74726F50,    // "Port"
    Search = 0x68637253,  // "Srch"
    Token = 0x6E6B6F54,   // "Tokn"
    Thread = 0x64726854,  // "Thrd"
};

struct PortObject;

struct FileObject {
    HandleKind kind;
    int fd;
    DWORD flags;
    int64_t position;     // used by the synchronous calls only
    PortObject* port;     // null until bound
    ULONG_PTR key;
    int fixedIndex = -1;  // the file's place in its port's registered files, if any
    // For a handle opened with DELETE access: the folder it was opened in and
    // its name there, so it is unlinked from that very folder.
    int folderFd = -1;
    std::string name;
    void* listing = nullptr;  // a held folder's listing (DIR*), once asked for
};

// A port closed while files are still bound to it lives on until the last of
// them is closed, so a file never points at freed memory.
struct PortObject {
    HandleKind kind;
    bool closed;
    int boundFiles;
    int64_t inFlight;     // queued requests whose completion is not yet taken
    void* queue;          // the I/O engine's own state for this port
};

// Buffers a port registered with the kernel, by index: up to one per request
// a pass keeps in flight, each of a request's size at most. VirtualFree
// clears a freed buffer's entry, so memory mapped later at the same address
// is never taken for the registered pages.
constexpr size_t MostFixedBuffers = 64;
constexpr size_t LargestFixedBufferBytes = 1048576;
struct FixedBuffers {
    std::atomic<uintptr_t> address[MostFixedBuffers];  // 0 past count
    size_t bytes[MostFixedBuffers];
    size_t count;
};

// Windows codes the compact header leaves out.
constexpr DWORD ErrorTooManyOpenFiles = 4;
constexpr DWORD ErrorWriteProtect = 19;
constexpr DWORD ErrorInsufficientBuffer = 122;
constexpr DWORD ErrorModNotFound = 126;
constexpr DWORD ErrorNegativeSeek = 131;
constexpr DWORD ErrorFileTooLarge = 223;
constexpr DWORD ErrorNotFound = 1168;

// The Windows code nearest to an errno value. For ENOENT the path, when
// given, decides between a missing file (2) and a missing folder (3).
DWORD WindowsCodeOf(int error, const std::string* path = nullptr);

void SetError(DWORD code);
// SetError(WindowsCodeOf(errno, path)), for the common failure path.
void SetErrnoError(const std::string* path = nullptr);

// The UTF-8 form of a path as the kernel wants it; false (with the last
// error set) for a null path.
bool NativePath(const wchar_t* path, std::string& out);

// The kind of the object behind a handle, or 0 for null and
// INVALID_HANDLE_VALUE.
HandleKind KindOf(HANDLE handle);

// The object behind a handle of that kind, or null with ERROR_INVALID_HANDLE.
FileObject* FileOf(HANDLE handle);
// The file behind a handle with its status, or null with the last error set.
FileObject* StatOf(HANDLE handle, struct stat& info);
PortObject* PortOf(HANDLE handle);

// Hands queued requests to the kernel, which then holds its own reference to
// their file, and drops the port's registration of the file; called before a
// bound file's descriptor is closed.
void DetachFile(FileObject* file);

// The live VirtualAlloc regions of request size, newest first, into a
// port's table, which from then on hears of their release.
void AdoptRegions(FixedBuffers* table);
void DropTable(FixedBuffers* table);
void NoteRegion(void* address, size_t bytes);
void ForgetRegion(void* address);

// Drops a file's hold on its port and frees the port once nothing holds it.
void ReleasePort(PortObject* port);
bool ClosePort(PortObject* port);

// Windows attributes of the entry name in the folder descriptor (AT_FDCWD for
// a plain path), without following a symbolic link: a link is a reparse
// point, and also a directory when it leads to one. False with errno set when
// the entry cannot be examined.
bool AttributesAt(int folder, const char* name, DWORD& attributes, uint64_t& size);

// The folder part and the last name of a path ("." and the path when it has
// no folder part).
void SplitPath(const std::string& path, std::string& folder, std::string& name);

// Table entries, grouped by the file that defines them.
HANDLE CreateFileW(const wchar_t* path, DWORD access, DWORD share,
                   SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                   HANDLE templateFile);
BOOL SynchronousRead(FileObject* file, LPVOID buffer, DWORD bytes, DWORD* done,
                     OVERLAPPED* overlapped);
BOOL SynchronousWrite(FileObject* file, const void* buffer, DWORD bytes, DWORD* done,
                      OVERLAPPED* overlapped);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, LARGE_INTEGER* newPosition,
                      DWORD method);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseFile(FileObject* file);
BOOL DeleteFileW(const wchar_t* path);
BOOL CreateDirectoryW(const wchar_t* path, SECURITY_ATTRIBUTES* security);
BOOL RemoveDirectoryW(const wchar_t* path);
DWORD GetFileAttributesW(const wchar_t* path);
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                LPVOID information, DWORD bytes);
BOOL GetFileInformationByHandleEx(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                  LPVOID information, DWORD bytes);
HANDLE OpenFileRelative(HANDLE folder, const wchar_t* name, DWORD access, DWORD share,
                        DWORD flags);
// The next entries of a held folder's listing, from its start when restart.
BOOL ListHeldFolder(FileObject* folder, bool restart, LPVOID information, DWORD bytes);
void CloseListing(FileObject* folder);

HANDLE FindFirstFileW(const wchar_t* pattern, WIN32_FIND_DATAW* found);
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* found);
BOOL FindClose(HANDLE search);

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytes, DWORD* done, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* done,
               OVERLAPPED* overlapped);
HANDLE CreateIoCompletionPort(HANDLE file, HANDLE existingPort, ULONG_PTR key,
                              DWORD threads);
BOOL GetQueuedCompletionStatus(HANDLE port, DWORD* bytes, ULONG_PTR* key,
                               OVERLAPPED** overlapped, DWORD milliseconds);
BOOL GetQueuedCompletionStatusEx(HANDLE port, OVERLAPPED_ENTRY* entries, ULONG count,
                                 ULONG* removed, DWORD milliseconds, BOOL alertable);
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytes, BOOL wait);
BOOL CancelIoEx(HANDLE file, OVERLAPPED* overlapped);
BOOL CloseHandle(HANDLE handle);

LPVOID VirtualAlloc(LPVOID address, size_t bytes, DWORD type, DWORD protect);
BOOL VirtualFree(LPVOID address, size_t bytes, DWORD type);
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetTickCount();
void Sleep(DWORD milliseconds);
UINT timeBeginPeriod(UINT milliseconds);
void GetLocalTime(SYSTEMTIME* time);
DWORD GetLastError();
void SetLastError(DWORD code);
DWORD GetCurrentDirectoryW(DWORD length, wchar_t* buffer);
DWORD GetModuleFileNameW(HMODULE module, wchar_t* buffer, DWORD length);
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputBytes, LPVOID output,
                     DWORD outputBytes, DWORD* returned, OVERLAPPED* overlapped);
BOOL GetDiskFreeSpaceExW(const wchar_t* root, ULARGE_INTEGER* freeToCaller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* totalFree);
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* bytes, int byteCount,
                        wchar_t* text, int textLength);
wchar_t* CharUpperW(wchar_t* text);
DWORD GetFinalPathNameByHandleW(HANDLE file, wchar_t* path, DWORD length, DWORD flags);
BOOL GetVolumeInformationW(const wchar_t* root, wchar_t* volumeName, DWORD volumeNameLength,
                           DWORD* serialNumber, DWORD* longestComponent, DWORD* fileSystemFlags,
                           wchar_t* fileSystemName, DWORD fileSystemNameLength);
BOOL GetVolumeInformationByHandleW(HANDLE file, wchar_t* volumeName, DWORD volumeNameLength,
                                   DWORD* serialNumber, DWORD* longestComponent,
                                   DWORD* fileSystemFlags, wchar_t* fileSystemName,
                                   DWORD fileSystemNameLength);
int CompareStringOrdinal(const wchar_t* a, int aLength, const wchar_t* b, int bLength,
                         BOOL ignoreCase);
BOOL SetFileValidData(HANDLE file, LONGLONG validDataLength);
BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);
BOOL LookupPrivilegeValueW(const wchar_t* system, const wchar_t* name, LUID* luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bytes,
                           TOKEN_PRIVILEGES* previous, DWORD* returned);

HANDLE CreateThread(SECURITY_ATTRIBUTES* security, size_t stackBytes,
                    LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags, DWORD* threadId);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseThread(HANDLE handle);

}  // namespace linux_native
